#include "bridge/native_mp.h"

#include <windows.h>

#include <string>
#include <utility>

#include "base/callback_guard.h"
#include "base/engine_api.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/portable/static_ref.h"
#include "bridge/renderer_page_api.h"
#include "diag/log.h"

namespace nimo {
namespace {

cef_render_process_handler_t render_process_handler;
unsigned char render_process_handler_built = 0;
cef_v8handler_t mp_invoke_handler;
unsigned char mp_invoke_handler_built = 0;

const void* Address(void (*fn)(void)) { return reinterpret_cast<const void*>(fn); }
template <typename Fn>
const void* EntryAddress(Fn fn) {
  return Address(reinterpret_cast<void (*)(void)>(fn));
}

// Stores `value` in `object` under `key`; the store consumes the value's reference (when
// the object cannot store, the holder drops it). Returns the store's result.
int StoreValue(cef_v8value_t* object, const char* key, EngineRef<cef_v8value_t> value) {
  if (object->set_value_bykey == nullptr) return 0;
  TempEngineString engine_key(key);
  return object->set_value_bykey(object, engine_key.get(), value.Transfer(),
                                 V8_PROPERTY_ATTRIBUTE_NONE);
}

void SendMpInvoke(const std::string& name, const std::string& payload) {
  if (!engine_api.cef_v8context_get_current_context) return;
  const auto context = AdoptRef(engine_api.cef_v8context_get_current_context());
  const auto frame = GetRef(context, &cef_v8context_t::get_frame);
  if (!frame || !engine_api.cef_process_message_create || name.empty()) return;
  TempEngineString message_name("mp:invoke");
  auto message = AdoptRef(engine_api.cef_process_message_create(message_name.get()));
  if (!message) return;
  if (const auto list = GetRef(message, &cef_process_message_t::get_argument_list)) {
    if (list->set_size) list->set_size(list.get(), 2);
    if (list->set_string) {
      TempEngineString first(name);
      list->set_string(list.get(), 0, first.get());
      TempEngineString second(payload);
      list->set_string(list.get(), 1, second.get());
    }
  }
  // The message's reference passes to the engine with the call.
  if (frame->send_process_message) {
    frame->send_process_message(frame.get(), PID_BROWSER, message.Transfer());
  }
}

int CEF_CALLBACK Execute(cef_v8handler_t*, const cef_string_t*, cef_v8value_t* object,
                         size_t arguments_count, cef_v8value_t* const* arguments,
                         cef_v8value_t** retval, cef_string_t*) {
  // Every argument of the call, and `this`, came with a reference for us.
  const auto object_ref = AdoptRef(object);
  const AdoptedArray<cef_v8value_t> argument_refs(arguments, arguments_count);
  const bool have_arguments = arguments != nullptr;
  const std::string name =
      have_arguments && arguments_count >= 1 ? V8StringToUtf8(arguments[0]) : std::string();
  const std::string payload =
      have_arguments && arguments_count >= 2 ? V8StringToUtf8(arguments[1]) : std::string();
  SendMpInvoke(name, payload);
  if (retval != nullptr && engine_api.cef_v8value_create_undefined) {
    *retval = engine_api.cef_v8value_create_undefined();
  }
  return 1;
}

void CEF_CALLBACK OnContextCreated(cef_render_process_handler_t*, cef_browser_t* browser,
                                   cef_frame_t* frame, cef_v8context_t* context) {
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  const auto context_ref = AdoptRef(context);
  if (NativeMpEnabled()) InstallWindowMp(context);
  // Protocol-3 sessions: the page's own window.mp (with call) before its first script.
  InstallEarlyPageApi(browser, frame);
}

void CEF_CALLBACK OnBrowserCreated(cef_render_process_handler_t*, cef_browser_t* browser,
                                   cef_dictionary_value_t* extra_info) {
  const auto browser_ref = AdoptRef(browser);
  const auto info_ref = AdoptRef(extra_info);
  NoteRendererBrowser(browser, extra_info);
}

void CEF_CALLBACK OnBrowserDestroyed(cef_render_process_handler_t*, cef_browser_t* browser) {
  const auto browser_ref = AdoptRef(browser);
  ForgetRendererBrowser(browser);
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
    mp_invoke_handler.execute = Guarded<Execute>;
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
  const auto global = GetRef(context, &cef_v8context_t::get_global);
  if (!global) {
    WriteLog("[InstallWindowMp] ABORT: get_global null\n");
    return;
  }
  auto mp = AdoptRef(engine_api.cef_v8value_create_object(nullptr, nullptr));
  if (!mp) {
    WriteLog("[InstallWindowMp] ABORT: create_object null\n");
    return;
  }
  cef_v8handler_t* handler = MpInvokeHandler();
  const char* const names[] = {"invoke", "send"};
  for (const char* name : names) {
    TempEngineString engine_name(name);
    // The handler is static: the reference the call consumes costs nothing.
    auto function = AdoptRef(engine_api.cef_v8value_create_function(engine_name.get(), handler));
    if (function) {
      StoreValue(mp.get(), name, std::move(function));
    } else {
      WriteLog("[InstallWindowMp] create_function('%s') null\n", name);
    }
  }
  const int stored = StoreValue(global.get(), "mp", std::move(mp));
  WriteLog("[InstallWindowMp] window.mp set ok=%p\n",
           reinterpret_cast<const void*>(static_cast<intptr_t>(stored)));
}

cef_render_process_handler_t* CEF_CALLBACK GetRenderProcessHandler(cef_app_t*) {
  if (!render_process_handler_built) {
    render_process_handler = cef_render_process_handler_t();
    InitStaticBase(&render_process_handler.base, sizeof render_process_handler);
    render_process_handler.on_browser_created = Guarded<OnBrowserCreated>;
    render_process_handler.on_browser_destroyed = Guarded<OnBrowserDestroyed>;
    render_process_handler.on_context_created = Guarded<OnContextCreated>;
    render_process_handler_built = 1;
  }
  return &render_process_handler;
}

}  // namespace nimo
