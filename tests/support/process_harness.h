// Runs the product executable the way a client or the engine would, in a throw-away
// sandbox folder: %TEMP%\nimo-sbx-<unique>\bin holds a copy of nimo-webengine.exe and the
// chosen stand-in libraries taken from the test's own bin folder, so flag files, logs and
// library placement never touch the build tree or another test. The exit code is read
// with GetExitCodeProcess, so it is the full 32-bit value.
//
// Environment of every run: this process's environment without any ZUNT_* or
// NIMO_STANDIN_* variable (so runs do not depend on the caller's shell), plus the entries a
// test gives ("NAME=value" sets, "NAME" alone removes).
//
// Paths and environment entries are UTF-8; they reach the system through the wide calls.
// Set NIMO_KEEP_SANDBOX=1 to keep the folders for inspection.
// Threads: one test thread per Sandbox.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/win_handle.h"

namespace nimo {
namespace test {

// The folder of the running test executable (the build's bin folder).
std::string TestBinDirectory();

struct SandboxLayout {
  // Files copied from the test's bin folder into `library_folder` (relative to the
  // executable's folder: "" beside it, "libs", "..\\libs").
  std::vector<std::string> libraries;
  std::string library_folder;
  // The ZUNT_DEBUG flag beside the executable, as a file or as a directory.
  bool debug_flag = true;
  bool debug_flag_is_directory = false;
  // Which file of the test's bin folder becomes the executable, and the copy's name (a
  // test may run a copy of itself in a sandbox this way).
  std::string program = "nimo-webengine.exe";
  std::string exe_name = "nimo-webengine.exe";
  // Text (UTF-8) appended to the sandbox folder's name, e.g. letters of several scripts.
  std::string folder_suffix;
};

// The executable with the stand-in engine and the stand-in GPU beside it.
SandboxLayout StandInGpuLayout();

struct RunResult {
  bool started = false;    // CreateProcessW succeeded
  bool timed_out = false;  // the process was terminated after the timeout
  DWORD exit_code = 0;     // GetExitCodeProcess
};

// A process started in a sandbox; terminated by the destructor if still running.
class SandboxProcess {
 public:
  SandboxProcess() = default;
  ~SandboxProcess();
  SandboxProcess(const SandboxProcess&) = delete;
  SandboxProcess& operator=(const SandboxProcess&) = delete;

  bool running() const;
  HANDLE handle() const { return process_.get(); }
  DWORD pid() const { return pid_; }
  // Waits for the end; on timeout the process is terminated and timed_out is set.
  RunResult Wait(DWORD timeout_ms);
  void Kill();

 private:
  friend class Sandbox;
  nimo::UniqueHandle process_;
  DWORD pid_ = 0;
};

class Sandbox {
 public:
  explicit Sandbox(const SandboxLayout& layout = SandboxLayout());
  ~Sandbox();  // removes the whole folder
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Whether the folder was made and every copy succeeded (the reason is in error()).
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  const std::string& root() const { return root_; }          // the sandbox folder
  const std::string& exe_dir() const { return exe_dir_; }    // root\bin
  std::string exe_path() const { return exe_dir_ + "\\" + exe_name_; }
  // `relative` resolved against the executable's folder ("..\\libs\\x" reaches root\libs).
  std::string Path(const std::string& relative) const;

  // Copies `file` from the test's bin folder into `folder` (relative to the executable's
  // folder), under `as_name` when given.
  bool CopyFromBin(const std::string& file, const std::string& folder = "",
                   const std::string& as_name = "");
  bool WriteFile(const std::string& relative, const std::string& content);
  bool MakeDirectory(const std::string& relative);  // parents included
  bool Remove(const std::string& relative);         // a file, or a directory with its content
  bool Exists(const std::string& relative) const;
  std::string ReadFile(const std::string& relative) const;  // "" when missing

  // The program's log, webengine.log beside the executable ("" when missing). The program
  // appends in text mode, so lines end in "\r\n" on disk; they come back ending in "\n",
  // as the program wrote them. ReadFile("webengine.log") gives the bytes on disk.
  std::string ReadLog() const;
  bool LogExists() const { return Exists("webengine.log"); }

  // Runs "<exe path in quotes> <arguments>" in the executable's folder and waits.
  RunResult Run(const std::string& arguments, const std::vector<std::string>& env = {},
                DWORD timeout_ms = 30000);
  // Starts it without waiting.
  bool Start(const std::string& arguments, const std::vector<std::string>& env,
             SandboxProcess* out);

 private:
  std::string root_;
  std::string exe_dir_;
  std::string exe_name_;
  std::string error_;
};

// The environment block a sandbox run gets (exposed for tests of the harness itself):
// "NAME=value" strings in the order they are passed.
std::vector<std::string> SandboxEnvironment(const std::vector<std::string>& env);

}  // namespace test
}  // namespace nimo
