// Script values and contexts of the renderer role: undefined, null, booleans, numbers,
// strings, objects, arrays and functions backed by the product's v8 handlers; contexts
// with a global object, a browser and a frame. Object-creating calls work only while a
// context is entered, as in the engine. Every store and call is journaled ("v8.*").
//
// Threads: the renderer's main thread.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "testbed/engine/engine_decls.h"

namespace standin {

struct BrowserCore;
struct FrameCore;

enum class V8Type { kUndefined, kNull, kBool, kInt, kUInt, kDouble, kString, kObject, kArray, kFunction };

struct V8Value {
  V8Type type = V8Type::kUndefined;
  bool b = false;
  int i = 0;
  double d = 0;
  std::u16string s;
  std::vector<std::pair<std::u16string, V8Value*>> properties;  // in insertion order
  std::vector<V8Value*> items;
  cef_v8handler_t* handler = nullptr;  // functions: the product's handler, one reference held
  std::u16string function_name;
  unsigned long long id = 0;
};

struct V8Context {
  unsigned long long id = 0;
  BrowserCore* browser = nullptr;
  FrameCore* frame = nullptr;
  V8Value* global = nullptr;
  bool valid = true;
};

V8Value* NewValue(V8Type type);
cef_v8value_t* WrapValue(V8Value* value, const char* origin);
cef_v8context_t* WrapContext(V8Context* context, const char* origin);
V8Context* NewContext(BrowserCore* browser, FrameCore* frame);

// Context stack: the engine enters a context around every callback that runs in it.
void EnterContext(V8Context* context);
void ExitContext();
// The newest context of `frame`, or null.
V8Context* ContextOfFrame(FrameCore* frame);

V8Value* Property(V8Value* object, const std::u16string& key);
const char* TypeName(V8Type type);
// Typed word of a value for the journal: "undefined", "null", "b:1", "i:5", "d:1.5",
// "s:text", "object", "array", "function:name".
std::string DescribeValue(const V8Value* value);
// Parses a typed word ("s:text", "i:5", "d:1.5", "b:1", "null", "undefined").
V8Value* ValueFromWord(const std::string& word);

// Calls a function value as page script would: `this_object` and `arguments` are handed
// over with one reference each. Returns the handler's result (null when it gave none).
V8Value* CallFunction(V8Value* function, V8Value* this_object, const std::vector<V8Value*>& arguments,
                      const char* origin, bool* handled, std::string* exception);

}  // namespace standin
