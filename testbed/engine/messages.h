// Process messages and their argument lists (cef_process_message_t, cef_list_value_t).
//
// Threads: a message is used by one thread at a time, as with the engine.
#pragma once
#include <string>
#include <vector>

#include "testbed/engine/engine_decls.h"

namespace standin {

struct ListEntry {
  int type = VTYPE_NULL;  // cef_value_type_t
  bool b = false;
  int i = 0;
  double d = 0;
  std::u16string s;
};

struct MessageCore {
  std::u16string name;
  std::vector<ListEntry> arguments;
  unsigned long long serial = 0;
};

// A new message; `arguments` as typed words ("s:text", "i:5", "d:1.5", "b:1", "null").
MessageCore* NewMessage(const std::u16string& name, const std::vector<std::string>& arguments);
cef_process_message_t* WrapMessage(MessageCore* core, const char* origin);

// The message behind a wrapper the product handed over, or null when it is not ours.
MessageCore* MessageOf(cef_process_message_t* message);

// The arguments as typed words ("s:text", "i:5", ...), for the journal.
std::vector<std::string> ArgumentWords(const MessageCore& core);

class Event;
// Adds name=, count= and arg0=, arg1=, ... to a journal line.
void DescribeMessage(Event& event, const MessageCore& core);

}  // namespace standin
