// Real pages of headless Chromium (the stand-in engine's Chromium mode) behind the host
// library: a page file both can reach, and the engine in a HostSandbox; the destructor shuts
// the engine down and ends the Chromium it started.
//
// Threads: one test thread.
#pragma once
#include <windows.h>

#include <string>

#include "client/nimo_host.h"
#include "tests/support/host_sandbox.h"

namespace nimo {
namespace test {

// A page in the host's /tmp: Chromium (on the host) opens it by its file URL, the engine
// sees it on drive Z:. Removed with the object.
class HostPageFile {
 public:
  HostPageFile(const std::string& tag, const std::string& bytes);
  ~HostPageFile();
  HostPageFile(const HostPageFile&) = delete;
  HostPageFile& operator=(const HostPageFile&) = delete;
  bool ok() const { return ok_; }
  const std::string& url() const { return url_; }
  static bool Write(const std::string& path, const std::string& bytes);

 private:
  std::string windows_, url_;
  bool ok_ = false;
};

class RealPageHost : public HostSandbox {
 public:
  // `scenario`: the stand-in's scenario lines after "chromium".
  explicit RealPageHost(const std::string& scenario);
  ~RealPageHost() override;
  RealPageHost(const RealPageHost&) = delete;
  RealPageHost& operator=(const RealPageHost&) = delete;

  // Starts the engine of the sandbox with `options` (its engine_path filled in).
  bool Start(host::StartOptions options, std::string* why);
  nimo_test::Journal journal() const { return Load(); }

  host::Host host;
};

}  // namespace test
}  // namespace nimo
