// Dictionaries (cef_dictionary_value_t) as far as browser creation info needs them: int and
// bool values by key. Each wrapper has a core of its own (a copy of the content is a new
// dictionary), freed with the wrapper, so the reference rules hold as for every object.
//
// Threads: a dictionary is used by one thread at a time, as with the engine.
#pragma once
#include <map>
#include <string>

#include "testbed/engine/engine_decls.h"

namespace standin {

// Keys (UTF-8) and their values; bools are kept as 0/1 beside their type.
struct DictionaryEntry {
  int type = VTYPE_INT;  // VTYPE_INT or VTYPE_BOOL
  int value = 0;
};
using DictionaryContent = std::map<std::string, DictionaryEntry>;

// A new dictionary holding `content`, with one reference for whoever gets it.
cef_dictionary_value_t* NewDictionary(const DictionaryContent& content, const char* origin);

// The content of a dictionary of ours; false for anything else (null included).
bool DictionaryContentOf(cef_dictionary_value_t* dictionary, DictionaryContent* out);

// "key=value,key=value" in key order, for the journal.
std::string DescribeDictionary(const DictionaryContent& content);

}  // namespace standin
