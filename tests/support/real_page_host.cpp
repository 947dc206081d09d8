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

RealPageHost::RealPageHost(const std::string& scenario) : HostSandbox("chromium\n" + scenario) {}

RealPageHost::~RealPageHost() {
  host.Shutdown(10000);
  nimo_test::EndChromiumOf(journal());
}

bool RealPageHost::Start(host::StartOptions options, std::string* why) {
  if (!sandbox().ok()) return *why = sandbox().error(), false;
  options.engine_path = sandbox().exe_path();
  host::StartError error;
  if (!host.Start(options, &error)) return *why = error.Text(), false;
  return true;
}

}  // namespace test
}  // namespace nimo
