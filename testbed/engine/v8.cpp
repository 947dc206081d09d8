#include "testbed/engine/v8.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "testbed/engine/browser.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"

namespace standin {
namespace {

unsigned long long next_value_id = 1;
unsigned long long next_context_id = 1;
std::vector<V8Context*> entered;
std::vector<V8Context*> all_contexts;

V8Value* Val(const void* self) { return CoreOf<V8Value>(self); }

// The value behind a wrapper the product hands back, or null when it is not one of ours.
V8Value* ValueOf(cef_v8value_t* value) {
  if (!IsWrapper(value) || std::string(InfoOf(value)->kind) != "v8value") return nullptr;
  return Val(value);
}

bool IsObjectLike(const V8Value* v) {
  return v->type == V8Type::kObject || v->type == V8Type::kArray || v->type == V8Type::kFunction;
}

int CEF_CALLBACK IsValid(cef_v8value_t* self) { return CheckAlive(self, "is_valid") ? 1 : 0; }
int CEF_CALLBACK IsUndefined(cef_v8value_t* self) {
  CheckAlive(self, "is_undefined");
  return Val(self)->type == V8Type::kUndefined;
}
int CEF_CALLBACK IsNull(cef_v8value_t* self) {
  CheckAlive(self, "is_null");
  return Val(self)->type == V8Type::kNull;
}
int CEF_CALLBACK IsBool(cef_v8value_t* self) {
  CheckAlive(self, "is_bool");
  return Val(self)->type == V8Type::kBool;
}
int CEF_CALLBACK IsInt(cef_v8value_t* self) {
  CheckAlive(self, "is_int");
  return Val(self)->type == V8Type::kInt;
}
int CEF_CALLBACK IsUInt(cef_v8value_t* self) {
  CheckAlive(self, "is_uint");
  return Val(self)->type == V8Type::kUInt || (Val(self)->type == V8Type::kInt && Val(self)->i >= 0);
}
int CEF_CALLBACK IsDouble(cef_v8value_t* self) {
  CheckAlive(self, "is_double");
  V8Type t = Val(self)->type;
  return t == V8Type::kDouble || t == V8Type::kInt || t == V8Type::kUInt;
}
int CEF_CALLBACK IsDate(cef_v8value_t* self) {
  CheckAlive(self, "is_date");
  return 0;
}
int CEF_CALLBACK IsString(cef_v8value_t* self) {
  CheckAlive(self, "is_string");
  return Val(self)->type == V8Type::kString;
}
int CEF_CALLBACK IsObject(cef_v8value_t* self) {
  CheckAlive(self, "is_object");
  return IsObjectLike(Val(self));
}
int CEF_CALLBACK IsArray(cef_v8value_t* self) {
  CheckAlive(self, "is_array");
  return Val(self)->type == V8Type::kArray;
}
int CEF_CALLBACK IsFunction(cef_v8value_t* self) {
  CheckAlive(self, "is_function");
  return Val(self)->type == V8Type::kFunction;
}
int CEF_CALLBACK IsFalse(cef_v8value_t* self) {
  CheckAlive(self, "is_*");
  return 0;
}
int CEF_CALLBACK IsSame(cef_v8value_t* self, cef_v8value_t* that) {
  CheckAlive(self, "is_same");
  int same = ValueOf(that) == Val(self) ? 1 : 0;
  Consume(that, "v8value.is_same");
  return same;
}
int CEF_CALLBACK GetBoolValue(cef_v8value_t* self) {
  CheckAlive(self, "get_bool_value");
  return Val(self)->type == V8Type::kBool && Val(self)->b;
}
int32_t CEF_CALLBACK GetIntValue(cef_v8value_t* self) {
  CheckAlive(self, "get_int_value");
  V8Value* v = Val(self);
  return v->type == V8Type::kDouble ? static_cast<int32_t>(v->d) : v->i;
}
uint32_t CEF_CALLBACK GetUIntValue(cef_v8value_t* self) {
  CheckAlive(self, "get_uint_value");
  return static_cast<uint32_t>(Val(self)->i);
}
double CEF_CALLBACK GetDoubleValue(cef_v8value_t* self) {
  CheckAlive(self, "get_double_value");
  V8Value* v = Val(self);
  return v->type == V8Type::kDouble ? v->d : static_cast<double>(v->i);
}
cef_string_userfree_t CEF_CALLBACK GetStringValue(cef_v8value_t* self) {
  CheckAlive(self, "get_string_value");
  V8Value* v = Val(self);
  // As in the engine: an empty string comes back as null.
  if (v->type != V8Type::kString || v->s.empty()) return nullptr;
  return NewUserfree(v->s);
}
int CEF_CALLBACK IsUserCreated(cef_v8value_t* self) {
  CheckAlive(self, "is_user_created");
  return 1;
}
int CEF_CALLBACK HasException(cef_v8value_t* self) {
  CheckAlive(self, "has_exception");
  return 0;
}
int CEF_CALLBACK HasValueByKey(cef_v8value_t* self, const cef_string_t* key) {
  CheckAlive(self, "has_value_bykey");
  return Property(Val(self), ToU16(key)) != nullptr;
}
int CEF_CALLBACK HasValueByIndex(cef_v8value_t* self, int index) {
  CheckAlive(self, "has_value_byindex");
  return index >= 0 && static_cast<size_t>(index) < Val(self)->items.size();
}
int CEF_CALLBACK DeleteValueByKey(cef_v8value_t* self, const cef_string_t* key) {
  CheckAlive(self, "delete_value_bykey");
  auto& props = Val(self)->properties;
  std::u16string k = ToU16(key);
  for (auto it = props.begin(); it != props.end(); ++it) {
    if (it->first == k) {
      props.erase(it);
      return 1;
    }
  }
  return 0;
}
cef_v8value_t* CEF_CALLBACK GetValueByKey(cef_v8value_t* self, const cef_string_t* key) {
  CheckAlive(self, "get_value_bykey");
  V8Value* found = Property(Val(self), ToU16(key));
  return found ? WrapValue(found, "get_value_bykey") : nullptr;
}
cef_v8value_t* CEF_CALLBACK GetValueByIndex(cef_v8value_t* self, int index) {
  CheckAlive(self, "get_value_byindex");
  V8Value* v = Val(self);
  if (index < 0 || static_cast<size_t>(index) >= v->items.size()) return nullptr;
  return WrapValue(v->items[static_cast<size_t>(index)], "get_value_byindex");
}
int CEF_CALLBACK SetValueByKey(cef_v8value_t* self, const cef_string_t* key, cef_v8value_t* value,
                               cef_v8_propertyattribute_t attribute) {
  CheckAlive(self, "set_value_bykey");
  V8Value* object = Val(self);
  V8Value* stored = ValueOf(value);
  int ok = IsObjectLike(object) && stored ? 1 : 0;
  Event("v8.set_value_bykey").Unsigned("object", object->id).Text("key", ToJournal(key))
      .Unsigned("value", stored ? stored->id : 0).Text("value_type", stored ? DescribeValue(stored) : "foreign")
      .Num("attribute", attribute).Num("result", ok);
  if (ok) {
    std::u16string k = ToU16(key);
    bool replaced = false;
    for (auto& p : object->properties) {
      if (p.first == k) {
        p.second = stored;
        replaced = true;
      }
    }
    if (!replaced) object->properties.emplace_back(k, stored);
  }
  Consume(value, "set_value_bykey");
  return ok;
}
int CEF_CALLBACK SetValueByIndex(cef_v8value_t* self, int index, cef_v8value_t* value) {
  CheckAlive(self, "set_value_byindex");
  V8Value* array = Val(self);
  V8Value* stored = ValueOf(value);
  int ok = array->type == V8Type::kArray && stored && index >= 0 ? 1 : 0;
  if (ok) {
    if (array->items.size() <= static_cast<size_t>(index)) array->items.resize(static_cast<size_t>(index) + 1, NewValue(V8Type::kUndefined));
    array->items[static_cast<size_t>(index)] = stored;
  }
  Event("v8.set_value_byindex").Unsigned("object", array->id).Num("index", index)
      .Text("value_type", stored ? DescribeValue(stored) : "foreign").Num("result", ok);
  Consume(value, "set_value_byindex");
  return ok;
}
int CEF_CALLBACK GetKeys(cef_v8value_t* self, cef_string_list_t keys) {
  CheckAlive(self, "get_keys");
  auto* list = static_cast<std::vector<std::u16string>*>(keys);
  if (!list) return 0;
  for (auto& p : Val(self)->properties) list->push_back(p.first);
  return 1;
}
int CEF_CALLBACK GetArrayLength(cef_v8value_t* self) {
  CheckAlive(self, "get_array_length");
  return static_cast<int>(Val(self)->items.size());
}
cef_string_userfree_t CEF_CALLBACK GetFunctionName(cef_v8value_t* self) {
  CheckAlive(self, "get_function_name");
  return NewUserfree(Val(self)->function_name);
}
cef_v8handler_t* CEF_CALLBACK GetFunctionHandler(cef_v8value_t* self) {
  CheckAlive(self, "get_function_handler");
  cef_v8handler_t* h = Val(self)->handler;
  if (h && h->base.add_ref) h->base.add_ref(&h->base);
  return h;
}
cef_v8value_t* CEF_CALLBACK ExecuteFunction(cef_v8value_t* self, cef_v8value_t* object, size_t count,
                                            cef_v8value_t* const* arguments) {
  CheckAlive(self, "execute_function");
  std::vector<V8Value*> args;
  for (size_t i = 0; i < count; ++i) {
    V8Value* a = ValueOf(arguments[i]);
    args.push_back(a ? a : NewValue(V8Type::kUndefined));
    Consume(arguments[i], "execute_function");
  }
  V8Value* receiver = ValueOf(object);
  Consume(object, "execute_function");
  bool handled = false;
  std::string exception;
  V8Value* result = CallFunction(Val(self), receiver ? receiver : NewValue(V8Type::kUndefined), args,
                                 "execute_function", &handled, &exception);
  return WrapValue(result ? result : NewValue(V8Type::kUndefined), "execute_function");
}

void FillValue(cef_v8value_t* v) {
  v->is_valid = IsValid;
  v->is_undefined = IsUndefined;
  v->is_null = IsNull;
  v->is_bool = IsBool;
  v->is_int = IsInt;
  v->is_uint = IsUInt;
  v->is_double = IsDouble;
  v->is_date = IsDate;
  v->is_string = IsString;
  v->is_object = IsObject;
  v->is_array = IsArray;
  v->is_array_buffer = IsFalse;
  v->is_function = IsFunction;
  v->is_promise = IsFalse;
  v->is_same = IsSame;
  v->get_bool_value = GetBoolValue;
  v->get_int_value = GetIntValue;
  v->get_uint_value = GetUIntValue;
  v->get_double_value = GetDoubleValue;
  v->get_string_value = GetStringValue;
  v->is_user_created = IsUserCreated;
  v->has_exception = HasException;
  v->has_value_bykey = HasValueByKey;
  v->has_value_byindex = HasValueByIndex;
  v->delete_value_bykey = DeleteValueByKey;
  v->get_value_bykey = GetValueByKey;
  v->get_value_byindex = GetValueByIndex;
  v->set_value_bykey = SetValueByKey;
  v->set_value_byindex = SetValueByIndex;
  v->get_keys = GetKeys;
  v->get_array_length = GetArrayLength;
  v->get_function_name = GetFunctionName;
  v->get_function_handler = GetFunctionHandler;
  v->execute_function = ExecuteFunction;
}

V8Context* Ctx(const void* self) { return CoreOf<V8Context>(self); }

int CEF_CALLBACK ContextIsValid(cef_v8context_t* self) {
  CheckAlive(self, "is_valid");
  return Ctx(self)->valid ? 1 : 0;
}
cef_browser_t* CEF_CALLBACK ContextGetBrowser(cef_v8context_t* self) {
  CheckAlive(self, "get_browser");
  return WrapBrowser(Ctx(self)->browser, "v8context.get_browser");
}
cef_frame_t* CEF_CALLBACK ContextGetFrame(cef_v8context_t* self) {
  CheckAlive(self, "get_frame");
  return WrapFrame(Ctx(self)->frame, "v8context.get_frame");
}
cef_v8value_t* CEF_CALLBACK ContextGetGlobal(cef_v8context_t* self) {
  CheckAlive(self, "get_global");
  return WrapValue(Ctx(self)->global, "get_global");
}
int CEF_CALLBACK ContextEnter(cef_v8context_t* self) {
  CheckAlive(self, "enter");
  EnterContext(Ctx(self));
  return 1;
}
int CEF_CALLBACK ContextExit(cef_v8context_t* self) {
  CheckAlive(self, "exit");
  if (entered.empty() || entered.back() != Ctx(self)) {
    Event("v8.context_exit_mismatch").Unsigned("context", Ctx(self)->id);
    return 0;
  }
  ExitContext();
  return 1;
}
int CEF_CALLBACK ContextIsSame(cef_v8context_t* self, cef_v8context_t* that) {
  CheckAlive(self, "is_same");
  int same = IsWrapper(that) && std::string(InfoOf(that)->kind) == "v8context" && Ctx(that) == Ctx(self) ? 1 : 0;
  Consume(that, "v8context.is_same");
  return same;
}

void FillContext(cef_v8context_t* c) {
  c->is_valid = ContextIsValid;
  c->get_browser = ContextGetBrowser;
  c->get_frame = ContextGetFrame;
  c->get_global = ContextGetGlobal;
  c->enter = ContextEnter;
  c->exit = ContextExit;
  c->is_same = ContextIsSame;
}

bool InContext(const char* what) {
  if (!entered.empty()) return true;
  Event("v8.outside_context").Text("call", what);
  return false;
}

}  // namespace

V8Value* NewValue(V8Type type) {
  V8Value* v = new V8Value();
  v->type = type;
  v->id = next_value_id++;
  return v;
}

cef_v8value_t* WrapValue(V8Value* value, const char* origin) {
  return MakeWrapper<cef_v8value_t>(value, "v8value", origin, FillValue);
}

cef_v8context_t* WrapContext(V8Context* context, const char* origin) {
  return MakeWrapper<cef_v8context_t>(context, "v8context", origin, FillContext);
}

V8Context* NewContext(BrowserCore* browser, FrameCore* frame) {
  V8Context* c = new V8Context();
  c->id = next_context_id++;
  c->browser = browser;
  c->frame = frame;
  c->global = NewValue(V8Type::kObject);
  all_contexts.push_back(c);
  return c;
}

void EnterContext(V8Context* context) { entered.push_back(context); }

void ExitContext() {
  if (!entered.empty()) entered.pop_back();
}

V8Context* ContextOfFrame(FrameCore* frame) {
  for (auto it = all_contexts.rbegin(); it != all_contexts.rend(); ++it) {
    if ((*it)->frame == frame && (*it)->valid) return *it;
  }
  return nullptr;
}

V8Value* Property(V8Value* object, const std::u16string& key) {
  if (!object) return nullptr;
  for (auto& p : object->properties) {
    if (p.first == key) return p.second;
  }
  return nullptr;
}

const char* TypeName(V8Type type) {
  switch (type) {
    case V8Type::kUndefined: return "undefined";
    case V8Type::kNull: return "null";
    case V8Type::kBool: return "bool";
    case V8Type::kInt: return "int";
    case V8Type::kUInt: return "uint";
    case V8Type::kDouble: return "double";
    case V8Type::kString: return "string";
    case V8Type::kObject: return "object";
    case V8Type::kArray: return "array";
    case V8Type::kFunction: return "function";
  }
  return "?";
}

std::string DescribeValue(const V8Value* v) {
  if (!v) return "none";
  char buffer[40];
  switch (v->type) {
    case V8Type::kBool: return v->b ? "b:1" : "b:0";
    case V8Type::kInt:
    case V8Type::kUInt: return "i:" + std::to_string(v->i);
    case V8Type::kDouble:
      std::snprintf(buffer, sizeof buffer, "d:%.17g", v->d);
      return buffer;
    case V8Type::kString: return "s:" + U16ToUtf8(v->s);
    case V8Type::kFunction: return "function:" + U16ToUtf8(v->function_name);
    default: return TypeName(v->type);
  }
}

V8Value* ValueFromWord(const std::string& word) {
  if (word.compare(0, 2, "s:") == 0) {
    V8Value* v = NewValue(V8Type::kString);
    v->s = Utf8ToU16(word.substr(2));
    return v;
  }
  if (word.compare(0, 2, "i:") == 0) {
    V8Value* v = NewValue(V8Type::kInt);
    v->i = std::atoi(word.c_str() + 2);
    return v;
  }
  if (word.compare(0, 2, "d:") == 0) {
    V8Value* v = NewValue(V8Type::kDouble);
    v->d = std::strtod(word.c_str() + 2, nullptr);
    return v;
  }
  if (word.compare(0, 2, "b:") == 0) {
    V8Value* v = NewValue(V8Type::kBool);
    v->b = word.size() > 2 && word[2] != '0';
    return v;
  }
  if (word == "null") return NewValue(V8Type::kNull);
  if (word == "object") return NewValue(V8Type::kObject);
  return NewValue(V8Type::kUndefined);
}

V8Value* CallFunction(V8Value* function, V8Value* this_object, const std::vector<V8Value*>& arguments,
                      const char* origin, bool* handled, std::string* exception) {
  *handled = false;
  cef_v8handler_t* h = function ? function->handler : nullptr;
  if (!function || function->type != V8Type::kFunction || !STANDIN_HAS_SLOT(h, cef_v8handler_t, execute)) {
    Event("v8.call").Text("origin", origin).Text("result", "not a native function");
    return nullptr;
  }
  std::vector<cef_v8value_t*> wrapped;
  for (V8Value* a : arguments) wrapped.push_back(WrapValue(a, "v8handler.execute argument"));
  cef_v8value_t* retval = nullptr;
  cef_string_t exc = {};
  cef_string_t name = {const_cast<char16_t*>(function->function_name.data()), function->function_name.size(), nullptr};
  int result = h->execute(h, &name, WrapValue(this_object, "v8handler.execute object"), wrapped.size(),
                          wrapped.empty() ? nullptr : wrapped.data(), &retval, &exc);
  *handled = result != 0;
  *exception = ToJournal(&exc);
  ClearString(&exc);
  V8Value* returned = ValueOf(retval);
  if (retval && !returned) Event("v8.call").Text("origin", origin).Text("error", "retval is not an engine value");
  Consume(retval, "v8handler.execute retval");
  return returned;
}

}  // namespace standin

using namespace standin;

extern "C" {

cef_v8value_t* cef_v8value_create_undefined(void) {
  return WrapValue(NewValue(V8Type::kUndefined), "cef_v8value_create_undefined");
}

cef_v8value_t* cef_v8value_create_null(void) { return WrapValue(NewValue(V8Type::kNull), "cef_v8value_create_null"); }

cef_v8value_t* cef_v8value_create_bool(int value) {
  V8Value* v = NewValue(V8Type::kBool);
  v->b = value != 0;
  return WrapValue(v, "cef_v8value_create_bool");
}

cef_v8value_t* cef_v8value_create_int(int32_t value) {
  V8Value* v = NewValue(V8Type::kInt);
  v->i = value;
  return WrapValue(v, "cef_v8value_create_int");
}

cef_v8value_t* cef_v8value_create_double(double value) {
  V8Value* v = NewValue(V8Type::kDouble);
  v->d = value;
  return WrapValue(v, "cef_v8value_create_double");
}

cef_v8value_t* cef_v8value_create_string(const cef_string_t* value) {
  V8Value* v = NewValue(V8Type::kString);
  v->s = ToU16(value);
  return WrapValue(v, "cef_v8value_create_string");
}

cef_v8value_t* cef_v8value_create_object(cef_v8accessor_t* accessor, cef_v8interceptor_t* interceptor) {
  Event("v8.create_object").Ptr("accessor", accessor).Ptr("interceptor", interceptor).Num("in_context", entered.empty() ? 0 : 1);
  if (!InContext("cef_v8value_create_object")) return nullptr;
  V8Value* v = NewValue(V8Type::kObject);
  return WrapValue(v, "cef_v8value_create_object");
}

cef_v8value_t* cef_v8value_create_array(int length) {
  if (!InContext("cef_v8value_create_array")) return nullptr;
  V8Value* v = NewValue(V8Type::kArray);
  for (int i = 0; i < length; ++i) v->items.push_back(NewValue(V8Type::kUndefined));
  return WrapValue(v, "cef_v8value_create_array");
}

cef_v8value_t* cef_v8value_create_function(const cef_string_t* name, cef_v8handler_t* handler) {
  Event("v8.create_function").Text("name", ToJournal(name)).Ptr("handler", handler)
      .Num("in_context", entered.empty() ? 0 : 1);
  if (!InContext("cef_v8value_create_function") || !handler) {
    ReleaseProductObject(handler ? &handler->base : nullptr);
    return nullptr;
  }
  V8Value* v = NewValue(V8Type::kFunction);
  v->function_name = ToU16(name);
  v->handler = handler;  // the reference the call took over
  return WrapValue(v, "cef_v8value_create_function");
}

cef_v8context_t* cef_v8context_get_current_context(void) {
  if (entered.empty()) return nullptr;
  return WrapContext(entered.back(), "cef_v8context_get_current_context");
}

cef_v8context_t* cef_v8context_get_entered_context(void) {
  if (entered.empty()) return nullptr;
  return WrapContext(entered.back(), "cef_v8context_get_entered_context");
}

int cef_v8context_in_context(void) { return entered.empty() ? 0 : 1; }

}  // extern "C"
