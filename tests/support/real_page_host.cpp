#include "tests/support/real_page_host.h"

#include <cstdio>

#include "tests/support/chromium_guard.h"

namespace nimo {
namespace test {

HostPageFile::HostPageFile(const std::string& tag, const std::string& bytes) {
  const std::string name = "nimo-" + tag + "-" + std::to_string(GetCurrentProcessId()) + ".html";
  windows_ = "Z:\\tmp\\" + name;
  url_ = "file:///Z:/tmp/" + name;
  ok_ = Write(windows_, bytes);
}

HostPageFile::~HostPageFile() { DeleteFileA(windows_.c_str()); }

bool HostPageFile::Write(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

RealPageHost::RealPageHost(const std::string& scenario) : sandbox_(StandInGpuLayout()) {
  journal_ = sandbox_.Path("journal.txt");
  sandbox_.WriteFile("scenario.txt", "chromium\n" + scenario);
  SetEnvironmentVariableA("NIMO_STANDIN_JOURNAL", journal_.c_str());
  SetEnvironmentVariableA("NIMO_STANDIN_SCENARIO", sandbox_.Path("scenario.txt").c_str());
}

RealPageHost::~RealPageHost() {
  host.Shutdown(10000);
  nimo_test::EndChromiumOf(journal());
  SetEnvironmentVariableA("NIMO_STANDIN_JOURNAL", nullptr);
  SetEnvironmentVariableA("NIMO_STANDIN_SCENARIO", nullptr);
}

bool RealPageHost::Start(host::StartOptions options, std::string* why) {
  if (!sandbox_.ok()) return *why = sandbox_.error(), false;
  options.engine_path = sandbox_.exe_path();
  host::StartError error;
  if (!host.Start(options, &error)) return *why = error.Text(), false;
  return true;
}

}  // namespace test
}  // namespace nimo
