// Runs the current test executable again as a second process restricted to one test
// (--gtest_filter), with extra environment variables, a line written to its standard
// input once it runs, and its standard output collected. Lets a test hand a handle to
// another process and check what that process sees. Test threads only.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace nimo_test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts "<this exe> --gtest_filter=<filter>" with `env` added to this environment.
  bool Start(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& env);
  HANDLE process() const { return process_; }
  DWORD pid() const { return pid_; }
  // Writes `line` and a newline to the child's standard input.
  bool SendLine(const std::string& line);
  // Waits for the end (false on timeout, the child is then killed) and collects output.
  bool Finish(DWORD timeout_ms, DWORD* exit_code, std::string* output);

 private:
  HANDLE process_ = nullptr;
  HANDLE stdin_write_ = nullptr;
  HANDLE stdout_read_ = nullptr;
  DWORD pid_ = 0;
};

// In the child: the first line of standard input, without its line end.
std::string ReadStdinLine();

// "<key>=<value>" lines printed by a child, looked up by key ("" when absent).
std::string FindOutputValue(const std::string& output, const std::string& key);

}  // namespace nimo_test
