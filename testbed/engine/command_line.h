// cef_command_line_t: a real command line (program, switches in order, arguments) whose
// every change by the product is journaled ("cmdline.append_switch" and friends).
//
// Threads: a command line object is used by one thread at a time, as with the engine.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "testbed/engine/engine_decls.h"

namespace standin {

struct CommandLineCore {
  std::u16string program;
  std::vector<std::pair<std::u16string, std::u16string>> switches;  // name, value
  std::vector<std::u16string> arguments;
  bool read_only = false;
  std::string role;  // the process type that owns it, for the journal ("browser", "renderer", ...)
};

// Parses a Windows command line ("--name=value" and "--name" switches, quoted words).
void ParseCommandLine(const std::string& text, CommandLineCore* core);
std::u16string CommandLineString(const CommandLineCore& core);
std::u16string SwitchValue(const CommandLineCore& core, const std::u16string& name);

// A fresh wrapper around `core` (one reference, the receiver's to release).
cef_command_line_t* WrapCommandLine(CommandLineCore* core, const char* origin);

// The process's own command line, parsed from GetCommandLineA on first use.
CommandLineCore* GlobalCommandLine();

}  // namespace standin
