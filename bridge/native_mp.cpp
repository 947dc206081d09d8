#include "bridge/native_mp.h"

#include <windows.h>

#include <string>

#include "bridge/engine_strings.h"
#include "diag/log.h"
#include "host/engine_api.h"
#include "host/portable/static_ref.h"

namespace nimo {
namespace {

cef_render_process_handler_t render_process_handler;
unsigned char render_process_handler_built = 0;
cef_v8handler_t mp_invoke_handler;
unsigned char mp_invoke_handler_built = 0;

template <typename T>
void Release(T* object) {
  if (object != nullptr && object->base.release) object->base.release(&object->base);
}

const void* Address(void (*fn)(void)) { return reinterpret_cast<const void*>(fn); }
template <typename Fn>
const void* EntryAddress(Fn fn) {
  return Address(reinterpret_cast<void (*)(void)>(fn));
}

// Stores `value` in `object` under `key`. The store consumes the value's reference; when
// the object cannot store, the reference is dropped here instead. Returns the store's result.
int StoreValue(cef_v8value_t* object, const char* key, cef_v8value_t* value) {
  if (object->set_value_bykey == nullptr) {
    Release(value);
    return 0;
  }
  TempEngineString engine_key(key);
  return object->set_value_bykey(object, engine_key.get(), value, V8_PROPERTY_ATTRIBUTE_NONE);
}

void SendMpInvoke(const std::string& name, const std::string& payload) {
  if (!engine_api.cef_v8context_get_current_context) return;
  cef_v8context_t* context = engine_api.cef_v8context_get_current_context();
  if (context == nullptr) return;
  cef_frame_t* frame = context->get_frame ? context->get_frame(context) : nullptr;
  if (frame != nullptr) {
    if (engine_api.cef_process_message_create && !name.empty()) {
      TempEngineString message_name("mp:invoke");
      cef_process_message_t* message = engine_api.cef_process_message_create(message_name.get());
      if (message != nullptr) {
        cef_list_value_t* list =
            message->get_argument_list ? message->get_argument_list(message) : nullptr;
        if (list != nullptr) {
          if (list->set_size) list->set_size(list, 2);
          if (list->set_string) {
            TempEngineString first(name);
            list->set_string(list, 0, first.get());
            TempEngineString second(payload);
            list->set_string(list, 1, second.get());
          }
          Release(list);
        }
        if (frame->send_process_message) {
          // The message's reference passes to the engine with the call.
          frame->send_process_message(frame, PID_BROWSER, message);
        } else {
          Release(message);
        }
      }
    }
    Release(frame);
  }
  Release(context);
}

int CEF_CALLBACK Execute(cef_v8handler_t*, const cef_string_t*, cef_v8value_t* object,
                         size_t arguments_count, cef_v8value_t* const* arguments,
                         cef_v8value_t** retval, cef_string_t*) {
  const bool have_arguments = arguments != nullptr;
  const std::string name =
      have_arguments && arguments_count >= 1 ? V8StringToUtf8(arguments[0]) : std::string();
  const std::string payload =
      have_arguments && arguments_count >= 2 ? V8StringToUtf8(arguments[1]) : std::string();
  // Every argument of the call, and `this`, came with a reference for us.
  Release(object);
  if (have_arguments) {
    for (size_t i = 0; i < arguments_count; ++i) Release(arguments[i]);
  }
  SendMpInvoke(name, payload);
  if (retval != nullptr && engine_api.cef_v8value_create_undefined) {
    *retval = engine_api.cef_v8value_create_undefined();
  }
  return 1;
}

void CEF_CALLBACK OnContextCreated(cef_render_process_handler_t*, cef_browser_t* browser,
                                   cef_frame_t* frame, cef_v8context_t* context) {
  if (NativeMpEnabled()) InstallWindowMp(context);
  Release(browser);
  Release(frame);
  Release(context);
}

}  // namespace

bool NativeMpEnabled() {
  char value[8] = {};
  return GetEnvironmentVariableA("ZUNT_CEF_NATIVE_MP", value, sizeof value) == 1 &&
         value[0] == '1';
}

cef_v8handler_t* MpInvokeHandler() {
  if (!mp_invoke_handler_built) {
    mp_invoke_handler = cef_v8handler_t();
    InitStaticBase(&mp_invoke_handler.base, sizeof mp_invoke_handler);
    mp_invoke_handler.execute = Execute;
    mp_invoke_handler_built = 1;
  }
  return &mp_invoke_handler;
}

void InstallWindowMp(cef_v8context_t* context) {
  WriteLog("[InstallWindowMp] called ctx=%p v8Func=%p\n", static_cast<const void*>(context),
           EntryAddress(engine_api.cef_v8value_create_function));
  if (context == nullptr || !engine_api.cef_v8value_create_function ||
      !engine_api.cef_v8value_create_object) {
    WriteLog("[InstallWindowMp] ABORT: ctx/v8Func/v8Obj null (v8Obj=%p)\n",
             EntryAddress(engine_api.cef_v8value_create_object));
    return;
  }
  cef_v8value_t* global = context->get_global ? context->get_global(context) : nullptr;
  if (global == nullptr) {
    WriteLog("[InstallWindowMp] ABORT: get_global null\n");
    return;
  }
  cef_v8value_t* mp = engine_api.cef_v8value_create_object(nullptr, nullptr);
  if (mp == nullptr) {
    WriteLog("[InstallWindowMp] ABORT: create_object null\n");
    Release(global);
    return;
  }
  cef_v8handler_t* handler = MpInvokeHandler();
  const char* const names[] = {"invoke", "send"};
  for (const char* name : names) {
    TempEngineString engine_name(name);
    // The handler is static: the reference the call consumes costs nothing.
    cef_v8value_t* function = engine_api.cef_v8value_create_function(engine_name.get(), handler);
    if (function != nullptr) {
      StoreValue(mp, name, function);
    } else {
      WriteLog("[InstallWindowMp] create_function('%s') null\n", name);
    }
  }
  const int stored = StoreValue(global, "mp", mp);
  WriteLog("[InstallWindowMp] window.mp set ok=%p\n",
           reinterpret_cast<const void*>(static_cast<intptr_t>(stored)));
  Release(global);
}

cef_render_process_handler_t* CEF_CALLBACK GetRenderProcessHandler(cef_app_t*) {
  if (!render_process_handler_built) {
    render_process_handler = cef_render_process_handler_t();
    InitStaticBase(&render_process_handler.base, sizeof render_process_handler);
    render_process_handler.on_context_created = OnContextCreated;
    render_process_handler_built = 1;
  }
  return &render_process_handler;
}

}  // namespace nimo
