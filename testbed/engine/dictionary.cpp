#include "testbed/engine/dictionary.h"

#include "testbed/engine/refs.h"
#include "testbed/engine/strings.h"

namespace standin {
namespace {

constexpr char kKind[] = "dictionary_value";

DictionaryContent& Content(cef_dictionary_value_t* self) { return *CoreOf<DictionaryContent>(self); }

std::string Key(const cef_string_t* key) { return U16ToUtf8(ToU16(key)); }

const DictionaryEntry* Find(cef_dictionary_value_t* self, const cef_string_t* key) {
  const DictionaryContent& content = Content(self);
  const auto it = content.find(Key(key));
  return it == content.end() ? nullptr : &it->second;
}

int CEF_CALLBACK IsValid(cef_dictionary_value_t* self) { return CheckAlive(self, "is_valid") ? 1 : 0; }
int CEF_CALLBACK IsOwned(cef_dictionary_value_t* self) {
  CheckAlive(self, "is_owned");
  return 0;
}
int CEF_CALLBACK IsReadOnly(cef_dictionary_value_t* self) {
  CheckAlive(self, "is_read_only");
  return 0;
}
size_t CEF_CALLBACK GetSize(cef_dictionary_value_t* self) {
  if (!CheckAlive(self, "get_size")) return 0;
  return Content(self).size();
}
int CEF_CALLBACK Clear(cef_dictionary_value_t* self) {
  if (!CheckAlive(self, "clear")) return 0;
  Content(self).clear();
  return 1;
}
int CEF_CALLBACK HasKey(cef_dictionary_value_t* self, const cef_string_t* key) {
  if (!CheckAlive(self, "has_key")) return 0;
  return Find(self, key) ? 1 : 0;
}
int CEF_CALLBACK Remove(cef_dictionary_value_t* self, const cef_string_t* key) {
  if (!CheckAlive(self, "remove")) return 0;
  return Content(self).erase(Key(key)) ? 1 : 0;
}
cef_value_type_t CEF_CALLBACK GetType(cef_dictionary_value_t* self, const cef_string_t* key) {
  if (!CheckAlive(self, "get_type")) return VTYPE_INVALID;
  const DictionaryEntry* e = Find(self, key);
  return e ? static_cast<cef_value_type_t>(e->type) : VTYPE_INVALID;
}
// As the engine: a value of another type reads as 0.
int CEF_CALLBACK GetBool(cef_dictionary_value_t* self, const cef_string_t* key) {
  if (!CheckAlive(self, "get_bool")) return 0;
  const DictionaryEntry* e = Find(self, key);
  return e && e->type == VTYPE_BOOL ? e->value : 0;
}
int CEF_CALLBACK GetInt(cef_dictionary_value_t* self, const cef_string_t* key) {
  if (!CheckAlive(self, "get_int")) return 0;
  const DictionaryEntry* e = Find(self, key);
  return e && e->type == VTYPE_INT ? e->value : 0;
}
int CEF_CALLBACK SetBool(cef_dictionary_value_t* self, const cef_string_t* key, int value) {
  if (!CheckAlive(self, "set_bool")) return 0;
  Content(self)[Key(key)] = DictionaryEntry{VTYPE_BOOL, value ? 1 : 0};
  return 1;
}
int CEF_CALLBACK SetInt(cef_dictionary_value_t* self, const cef_string_t* key, int value) {
  if (!CheckAlive(self, "set_int")) return 0;
  Content(self)[Key(key)] = DictionaryEntry{VTYPE_INT, value};
  return 1;
}

void Fill(cef_dictionary_value_t* d) {
  d->is_valid = IsValid;
  d->is_owned = IsOwned;
  d->is_read_only = IsReadOnly;
  d->get_size = GetSize;
  d->clear = Clear;
  d->has_key = HasKey;
  d->remove = Remove;
  d->get_type = GetType;
  d->get_bool = GetBool;
  d->get_int = GetInt;
  d->set_bool = SetBool;
  d->set_int = SetInt;
}

}  // namespace

cef_dictionary_value_t* NewDictionary(const DictionaryContent& content, const char* origin) {
  cef_dictionary_value_t* d = MakeWrapper<cef_dictionary_value_t>(new DictionaryContent(content), kKind, origin, Fill);
  InfoOf(d)->free_core = [](void* c) { delete static_cast<DictionaryContent*>(c); };
  return d;
}

bool DictionaryContentOf(cef_dictionary_value_t* dictionary, DictionaryContent* out) {
  if (!dictionary || !IsWrapper(dictionary) || std::string(InfoOf(dictionary)->kind) != kKind) return false;
  *out = Content(dictionary);
  return true;
}

std::string DescribeDictionary(const DictionaryContent& content) {
  std::string text;
  for (const auto& entry : content) {
    if (!text.empty()) text += ',';
    text += entry.first + "=" + std::to_string(entry.second.value);
  }
  return text;
}

}  // namespace standin

using namespace standin;

extern "C" {

cef_dictionary_value_t* cef_dictionary_value_create(void) {
  return NewDictionary(DictionaryContent(), "cef_dictionary_value_create");
}

}  // extern "C"
