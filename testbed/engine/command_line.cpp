#include "testbed/engine/command_line.h"

#include <windows.h>

#include <mutex>

#include "testbed/engine/journal.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/strings.h"

namespace standin {
namespace {

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::size_t i = 0, n = text.size();
  while (i < n) {
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= n) break;
    std::string word;
    bool quoted = false;
    while (i < n && (quoted || (text[i] != ' ' && text[i] != '\t'))) {
      if (text[i] == '"') {
        quoted = !quoted;
      } else {
        word += text[i];
      }
      ++i;
    }
    words.push_back(word);
  }
  return words;
}

void AddWord(CommandLineCore* core, const std::u16string& word, bool* switches_done) {
  if (!*switches_done && word == u"--") {
    *switches_done = true;
    return;
  }
  if (!*switches_done && word.size() > 2 && word[0] == u'-' && word[1] == u'-') {
    std::size_t eq = word.find(u'=');
    if (eq == std::u16string::npos) {
      core->switches.emplace_back(word.substr(2), std::u16string());
    } else {
      core->switches.emplace_back(word.substr(2, eq - 2), word.substr(eq + 1));
    }
    return;
  }
  core->arguments.push_back(word);
}

std::u16string Quoted(const std::u16string& word) {
  if (!word.empty() && word.find(u' ') == std::u16string::npos && word.find(u'\t') == std::u16string::npos) return word;
  return u"\"" + word + u"\"";
}

CommandLineCore* Core(cef_command_line_t* self) { return CoreOf<CommandLineCore>(self); }

std::string Role(cef_command_line_t* self) { return Core(self)->role; }

int CEF_CALLBACK IsValid(cef_command_line_t* self) {
  CheckAlive(self, "is_valid");
  return 1;
}

int CEF_CALLBACK IsReadOnly(cef_command_line_t* self) {
  CheckAlive(self, "is_read_only");
  return Core(self)->read_only ? 1 : 0;
}

cef_command_line_t* CEF_CALLBACK Copy(cef_command_line_t* self) {
  CheckAlive(self, "copy");
  CommandLineCore* copy = new CommandLineCore(*Core(self));
  copy->read_only = false;
  return WrapCommandLine(copy, "command_line.copy");
}

void CEF_CALLBACK InitFromArgv(cef_command_line_t* self, int argc, const char* const* argv) {
  CheckAlive(self, "init_from_argv");
  CommandLineCore* core = Core(self);
  core->program.clear();
  core->switches.clear();
  core->arguments.clear();
  bool done = false;
  for (int i = 0; argv && i < argc; ++i) {
    std::u16string word = Utf8ToU16(argv[i] ? argv[i] : "");
    if (i == 0) {
      core->program = word;
    } else {
      AddWord(core, word, &done);
    }
  }
}

void CEF_CALLBACK InitFromString(cef_command_line_t* self, const cef_string_t* command_line) {
  CheckAlive(self, "init_from_string");
  CommandLineCore* core = Core(self);
  std::string role = core->role;
  *core = CommandLineCore();
  core->role = role;
  ParseCommandLine(U16ToUtf8(ToU16(command_line)), core);
}

void CEF_CALLBACK Reset(cef_command_line_t* self) {
  CheckAlive(self, "reset");
  Core(self)->switches.clear();
  Core(self)->arguments.clear();
}

void CEF_CALLBACK GetArgv(cef_command_line_t* self, cef_string_list_t argv) {
  CheckAlive(self, "get_argv");
  CommandLineCore* core = Core(self);
  auto* list = static_cast<std::vector<std::u16string>*>(argv);
  if (!list) return;
  list->push_back(core->program);
  for (auto& s : core->switches) list->push_back(u"--" + s.first + (s.second.empty() ? u"" : u"=" + s.second));
  for (auto& a : core->arguments) list->push_back(a);
}

cef_string_userfree_t CEF_CALLBACK GetCommandLineString(cef_command_line_t* self) {
  CheckAlive(self, "get_command_line_string");
  return NewUserfree(CommandLineString(*Core(self)));
}

cef_string_userfree_t CEF_CALLBACK GetProgram(cef_command_line_t* self) {
  CheckAlive(self, "get_program");
  return NewUserfree(Core(self)->program);
}

void CEF_CALLBACK SetProgram(cef_command_line_t* self, const cef_string_t* program) {
  CheckAlive(self, "set_program");
  Core(self)->program = ToU16(program);
}

int CEF_CALLBACK HasSwitches(cef_command_line_t* self) {
  CheckAlive(self, "has_switches");
  return Core(self)->switches.empty() ? 0 : 1;
}

int CEF_CALLBACK HasSwitch(cef_command_line_t* self, const cef_string_t* name) {
  CheckAlive(self, "has_switch");
  std::u16string wanted = ToU16(name);
  for (auto& s : Core(self)->switches) {
    if (s.first == wanted) return 1;
  }
  return 0;
}

cef_string_userfree_t CEF_CALLBACK GetSwitchValue(cef_command_line_t* self, const cef_string_t* name) {
  CheckAlive(self, "get_switch_value");
  return NewUserfree(SwitchValue(*Core(self), ToU16(name)));
}

void CEF_CALLBACK GetSwitches(cef_command_line_t* self, cef_string_map_t) {
  // String maps are not part of this engine's exports; the product cannot read one.
  CheckAlive(self, "get_switches");
  Event("cmdline.get_switches").Text("process", Role(self));
}

void CEF_CALLBACK AppendSwitch(cef_command_line_t* self, const cef_string_t* name) {
  CheckAlive(self, "append_switch");
  Event("cmdline.append_switch").Text("process", Role(self)).Text("name", ToJournal(name));
  Core(self)->switches.emplace_back(ToU16(name), std::u16string());
}

void CEF_CALLBACK AppendSwitchWithValue(cef_command_line_t* self, const cef_string_t* name, const cef_string_t* value) {
  CheckAlive(self, "append_switch_with_value");
  Event("cmdline.append_switch_with_value").Text("process", Role(self)).Text("name", ToJournal(name))
      .Text("value", ToJournal(value));
  Core(self)->switches.emplace_back(ToU16(name), ToU16(value));
}

int CEF_CALLBACK HasArguments(cef_command_line_t* self) {
  CheckAlive(self, "has_arguments");
  return Core(self)->arguments.empty() ? 0 : 1;
}

void CEF_CALLBACK GetArguments(cef_command_line_t* self, cef_string_list_t arguments) {
  CheckAlive(self, "get_arguments");
  auto* list = static_cast<std::vector<std::u16string>*>(arguments);
  if (list) list->insert(list->end(), Core(self)->arguments.begin(), Core(self)->arguments.end());
}

void CEF_CALLBACK AppendArgument(cef_command_line_t* self, const cef_string_t* argument) {
  CheckAlive(self, "append_argument");
  Event("cmdline.append_argument").Text("process", Role(self)).Text("value", ToJournal(argument));
  Core(self)->arguments.push_back(ToU16(argument));
}

void CEF_CALLBACK PrependWrapper(cef_command_line_t* self, const cef_string_t* wrapper) {
  CheckAlive(self, "prepend_wrapper");
  Event("cmdline.prepend_wrapper").Text("process", Role(self)).Text("value", ToJournal(wrapper));
  Core(self)->program = ToU16(wrapper) + u" " + Core(self)->program;
}

void Fill(cef_command_line_t* c) {
  c->is_valid = IsValid;
  c->is_read_only = IsReadOnly;
  c->copy = Copy;
  c->init_from_argv = InitFromArgv;
  c->init_from_string = InitFromString;
  c->reset = Reset;
  c->get_argv = GetArgv;
  c->get_command_line_string = GetCommandLineString;
  c->get_program = GetProgram;
  c->set_program = SetProgram;
  c->has_switches = HasSwitches;
  c->has_switch = HasSwitch;
  c->get_switch_value = GetSwitchValue;
  c->get_switches = GetSwitches;
  c->append_switch = AppendSwitch;
  c->append_switch_with_value = AppendSwitchWithValue;
  c->has_arguments = HasArguments;
  c->get_arguments = GetArguments;
  c->append_argument = AppendArgument;
  c->prepend_wrapper = PrependWrapper;
}

}  // namespace

void ParseCommandLine(const std::string& text, CommandLineCore* core) {
  std::vector<std::string> words = SplitWords(text);
  bool done = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::u16string word = Utf8ToU16(words[i]);
    if (i == 0) {
      core->program = word;
    } else {
      AddWord(core, word, &done);
    }
  }
}

std::u16string CommandLineString(const CommandLineCore& core) {
  std::u16string text = Quoted(core.program);
  for (auto& s : core.switches) {
    text += u" --" + s.first;
    if (!s.second.empty()) text += u"=" + Quoted(s.second);
  }
  for (auto& a : core.arguments) text += u" " + Quoted(a);
  return text;
}

std::u16string SwitchValue(const CommandLineCore& core, const std::u16string& name) {
  for (auto& s : core.switches) {
    if (s.first == name) return s.second;
  }
  return std::u16string();
}

cef_command_line_t* WrapCommandLine(CommandLineCore* core, const char* origin) {
  return MakeWrapper<cef_command_line_t>(core, "command_line", origin, Fill);
}

CommandLineCore* GlobalCommandLine() {
  static std::mutex lock;
  static CommandLineCore* global = nullptr;
  std::lock_guard<std::mutex> hold(lock);
  if (!global) {
    global = new CommandLineCore();
    // Read as UTF-16, as the engine does, so a path of any script stays whole.
    ParseCommandLine(WideToUtf8(GetCommandLineW()), global);
    std::u16string type = SwitchValue(*global, u"type");
    global->role = type.empty() ? "browser" : U16ToUtf8(type);
  }
  return global;
}

}  // namespace standin

using namespace standin;

extern "C" {

cef_command_line_t* cef_command_line_create(void) {
  CommandLineCore* core = new CommandLineCore();
  core->role = GlobalCommandLine()->role;
  return WrapCommandLine(core, "cef_command_line_create");
}

cef_command_line_t* cef_command_line_get_global(void) {
  return WrapCommandLine(GlobalCommandLine(), "cef_command_line_get_global");
}

}  // extern "C"
