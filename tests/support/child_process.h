// Runs the current test executable again as a second process restricted to one test
// (--gtest_filter), with extra environment variables, a line written to its standard
// input once it runs, and its standard output collected. Lets a test hand a handle to
// another process and check what that process sees. Test threads only.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/win_handle.h"

namespace nimo_test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts "<this exe> --gtest_filter=<filter>" with `env` added to this environment.
  bool Start(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& env);
  // The same from a copy of this exe and the stand-in GPU libraries in a fresh folder of
  // its own, with the ZUNT_DEBUG flag file there, so the child has a log (webengine.log)
  // that no other test writes to. The folder is removed by the destructor.
  bool StartInSandbox(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& env);
  // Contents of a file in the sandbox folder ("" when missing).
  std::string ReadSandboxFile(const char* name) const;
  const std::string& sandbox() const { return sandbox_; }
  HANDLE process() const { return process_.get(); }
  DWORD pid() const { return pid_; }
  // Writes `line` and a newline to the child's standard input.
  bool SendLine(const std::string& line);
  // Waits for the end (false on timeout, the child is then killed) and collects output.
  bool Finish(DWORD timeout_ms, DWORD* exit_code, std::string* output);

 private:
  bool Launch(const std::string& exe, const std::string& filter,
              const std::vector<std::pair<std::string, std::string>>& env);
  nimo::UniqueHandle process_;
  std::string sandbox_;
  nimo::UniqueHandle stdin_write_;
  nimo::UniqueHandle stdout_read_;
  DWORD pid_ = 0;
};

// In the child: the first line of standard input, without its line end.
std::string ReadStdinLine();

// A log file's text as the tests compare it: line ends as "\n" (the C runtime writes
// "\r\n" in text mode) and the hexadecimal digits of "%p" values in lower case (runtimes
// differ in the case they print).
std::string LogText(const std::string& raw);

// The log with each source place "<file>.cpp:<line>" reduced to "<file>.cpp", so an
// expected failure line does not depend on line numbers.
std::string WithoutLineNumbers(std::string log);

// "<key>=<value>" lines printed by a child, looked up by key ("" when absent).
std::string FindOutputValue(const std::string& output, const std::string& key);

}  // namespace nimo_test
