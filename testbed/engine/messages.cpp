#include "testbed/engine/messages.h"

#include <cstdlib>
#include <mutex>

#include "testbed/engine/journal.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/strings.h"

namespace standin {
namespace {

std::mutex serial_lock;
unsigned long long next_serial = 1;

MessageCore* Msg(const void* self) { return CoreOf<MessageCore>(self); }
MessageCore* ListOwner(cef_list_value_t* self) { return CoreOf<MessageCore>(self); }

bool Slot(cef_list_value_t* self, size_t index, ListEntry** entry) {
  std::vector<ListEntry>& items = ListOwner(self)->arguments;
  if (index >= items.size()) return false;
  *entry = &items[index];
  return true;
}

ListEntry* Writable(cef_list_value_t* self, size_t index) {
  std::vector<ListEntry>& items = ListOwner(self)->arguments;
  if (index >= items.size()) items.resize(index + 1);
  return &items[index];
}

int CEF_CALLBACK ListIsValid(cef_list_value_t* self) { return CheckAlive(self, "is_valid") ? 1 : 0; }
int CEF_CALLBACK ListIsOwned(cef_list_value_t* self) {
  CheckAlive(self, "is_owned");
  return 1;
}
int CEF_CALLBACK ListIsReadOnly(cef_list_value_t* self) {
  CheckAlive(self, "is_read_only");
  return 0;
}
int CEF_CALLBACK ListSetSize(cef_list_value_t* self, size_t size) {
  CheckAlive(self, "set_size");
  ListOwner(self)->arguments.resize(size);
  return 1;
}
size_t CEF_CALLBACK ListGetSize(cef_list_value_t* self) {
  CheckAlive(self, "get_size");
  return ListOwner(self)->arguments.size();
}
int CEF_CALLBACK ListClear(cef_list_value_t* self) {
  CheckAlive(self, "clear");
  ListOwner(self)->arguments.clear();
  return 1;
}
int CEF_CALLBACK ListRemove(cef_list_value_t* self, size_t index) {
  CheckAlive(self, "remove");
  std::vector<ListEntry>& items = ListOwner(self)->arguments;
  if (index >= items.size()) return 0;
  items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
  return 1;
}
cef_value_type_t CEF_CALLBACK ListGetType(cef_list_value_t* self, size_t index) {
  CheckAlive(self, "get_type");
  ListEntry* e;
  return Slot(self, index, &e) ? static_cast<cef_value_type_t>(e->type) : VTYPE_INVALID;
}
int CEF_CALLBACK ListGetBool(cef_list_value_t* self, size_t index) {
  CheckAlive(self, "get_bool");
  ListEntry* e;
  return Slot(self, index, &e) && e->type == VTYPE_BOOL && e->b ? 1 : 0;
}
int CEF_CALLBACK ListGetInt(cef_list_value_t* self, size_t index) {
  CheckAlive(self, "get_int");
  ListEntry* e;
  return Slot(self, index, &e) && e->type == VTYPE_INT ? e->i : 0;
}
double CEF_CALLBACK ListGetDouble(cef_list_value_t* self, size_t index) {
  CheckAlive(self, "get_double");
  ListEntry* e;
  return Slot(self, index, &e) && e->type == VTYPE_DOUBLE ? e->d : 0.0;
}
cef_string_userfree_t CEF_CALLBACK ListGetString(cef_list_value_t* self, size_t index) {
  CheckAlive(self, "get_string");
  ListEntry* e;
  return NewUserfree(Slot(self, index, &e) && e->type == VTYPE_STRING ? e->s : std::u16string());
}
int CEF_CALLBACK ListSetNull(cef_list_value_t* self, size_t index) {
  CheckAlive(self, "set_null");
  *Writable(self, index) = ListEntry();
  return 1;
}
int CEF_CALLBACK ListSetBool(cef_list_value_t* self, size_t index, int value) {
  CheckAlive(self, "set_bool");
  ListEntry* e = Writable(self, index);
  *e = ListEntry();
  e->type = VTYPE_BOOL;
  e->b = value != 0;
  return 1;
}
int CEF_CALLBACK ListSetInt(cef_list_value_t* self, size_t index, int value) {
  CheckAlive(self, "set_int");
  ListEntry* e = Writable(self, index);
  *e = ListEntry();
  e->type = VTYPE_INT;
  e->i = value;
  return 1;
}
int CEF_CALLBACK ListSetDouble(cef_list_value_t* self, size_t index, double value) {
  CheckAlive(self, "set_double");
  ListEntry* e = Writable(self, index);
  *e = ListEntry();
  e->type = VTYPE_DOUBLE;
  e->d = value;
  return 1;
}
int CEF_CALLBACK ListSetString(cef_list_value_t* self, size_t index, const cef_string_t* value) {
  CheckAlive(self, "set_string");
  ListEntry* e = Writable(self, index);
  *e = ListEntry();
  e->type = VTYPE_STRING;
  e->s = ToU16(value);
  return 1;
}

void FillList(cef_list_value_t* l) {
  l->is_valid = ListIsValid;
  l->is_owned = ListIsOwned;
  l->is_read_only = ListIsReadOnly;
  l->set_size = ListSetSize;
  l->get_size = ListGetSize;
  l->clear = ListClear;
  l->remove = ListRemove;
  l->get_type = ListGetType;
  l->get_bool = ListGetBool;
  l->get_int = ListGetInt;
  l->get_double = ListGetDouble;
  l->get_string = ListGetString;
  l->set_null = ListSetNull;
  l->set_bool = ListSetBool;
  l->set_int = ListSetInt;
  l->set_double = ListSetDouble;
  l->set_string = ListSetString;
}

int CEF_CALLBACK MessageIsValid(cef_process_message_t* self) { return CheckAlive(self, "is_valid") ? 1 : 0; }
int CEF_CALLBACK MessageIsReadOnly(cef_process_message_t* self) {
  CheckAlive(self, "is_read_only");
  return 0;
}
cef_process_message_t* CEF_CALLBACK MessageCopy(cef_process_message_t* self) {
  CheckAlive(self, "copy");
  MessageCore* copy = new MessageCore(*Msg(self));
  return WrapMessage(copy, "process_message.copy");
}
cef_string_userfree_t CEF_CALLBACK MessageGetName(cef_process_message_t* self) {
  CheckAlive(self, "get_name");
  return NewUserfree(Msg(self)->name);
}
cef_list_value_t* CEF_CALLBACK MessageGetArgumentList(cef_process_message_t* self) {
  CheckAlive(self, "get_argument_list");
  return MakeWrapper<cef_list_value_t>(Msg(self), "list_value", "get_argument_list", FillList);
}

void FillMessage(cef_process_message_t* m) {
  m->is_valid = MessageIsValid;
  m->is_read_only = MessageIsReadOnly;
  m->copy = MessageCopy;
  m->get_name = MessageGetName;
  m->get_argument_list = MessageGetArgumentList;
}

}  // namespace

MessageCore* NewMessage(const std::u16string& name, const std::vector<std::string>& arguments) {
  MessageCore* core = new MessageCore();
  core->name = name;
  {
    std::lock_guard<std::mutex> hold(serial_lock);
    core->serial = next_serial++;
  }
  for (const std::string& word : arguments) {
    ListEntry e;
    if (word.compare(0, 2, "s:") == 0) {
      e.type = VTYPE_STRING;
      e.s = Utf8ToU16(word.substr(2));
    } else if (word.compare(0, 2, "i:") == 0) {
      e.type = VTYPE_INT;
      e.i = std::atoi(word.c_str() + 2);
    } else if (word.compare(0, 2, "d:") == 0) {
      e.type = VTYPE_DOUBLE;
      e.d = std::strtod(word.c_str() + 2, nullptr);
    } else if (word.compare(0, 2, "b:") == 0) {
      e.type = VTYPE_BOOL;
      e.b = word.size() > 2 && word[2] != '0';
    }
    core->arguments.push_back(e);
  }
  return core;
}

cef_process_message_t* WrapMessage(MessageCore* core, const char* origin) {
  return MakeWrapper<cef_process_message_t>(core, "process_message", origin, FillMessage);
}

MessageCore* MessageOf(cef_process_message_t* message) {
  return IsWrapper(message) && std::string(InfoOf(message)->kind) == "process_message" ? Msg(message) : nullptr;
}

std::vector<std::string> ArgumentWords(const MessageCore& core) {
  std::vector<std::string> words;
  for (const ListEntry& e : core.arguments) {
    switch (e.type) {
      case VTYPE_STRING: words.push_back("s:" + U16ToUtf8(e.s)); break;
      case VTYPE_INT: words.push_back("i:" + std::to_string(e.i)); break;
      case VTYPE_DOUBLE: words.push_back("d:" + std::to_string(e.d)); break;
      case VTYPE_BOOL: words.push_back(e.b ? "b:1" : "b:0"); break;
      default: words.push_back("null"); break;
    }
  }
  return words;
}

void DescribeMessage(Event& event, const MessageCore& core) {
  std::vector<std::string> words = ArgumentWords(core);
  event.Unsigned("message", core.serial).Text("name", U16ToUtf8(core.name)).Num("count", static_cast<long long>(words.size()));
  for (std::size_t i = 0; i < words.size(); ++i) event.Text(("arg" + std::to_string(i)).c_str(), words[i]);
}

}  // namespace standin

using namespace standin;

extern "C" {

cef_process_message_t* cef_process_message_create(const cef_string_t* name) {
  MessageCore* core = NewMessage(ToU16(name), {});
  Event("process_message.create").Unsigned("message", core->serial).Text("name", ToJournal(name));
  return WrapMessage(core, "cef_process_message_create");
}

}  // extern "C"
