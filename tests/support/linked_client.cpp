#include "tests/support/linked_client.h"

#include "link/pipe_link.h"
#include "link/send.h"
#include "protocol/wire.h"
#include "surfaces/commands.h"

namespace nimo {
namespace test {
namespace {

constexpr DWORD kReportTimeoutMs = 5000;
constexpr std::uint32_t kMarkerSurface = 9;

bool IsBridgeReport(std::uint16_t type) {
  return type == kMsgLoadEvent || type == kMsgConsoleLine || type == kMsgPageMessage;
}

}  // namespace

FakeClient* LinkedClient() {
  static FakeClient* client = [] {
    FakeClient* c = new FakeClient();
    if (!ConnectPipe(c->pipe_name().c_str(), SurfaceCommandSink()) || !c->Handshake(kReportTimeoutMs)) {
      delete c;
      return static_cast<FakeClient*>(nullptr);
    }
    return c;
  }();
  return client;
}

bool NextBridgeReport(Report* out) {
  FakeClient* client = LinkedClient();
  if (!client) return false;
  for (;;) {
    if (!client->Read(out, kReportTimeoutMs)) return false;
    if (IsBridgeReport(out->type)) return true;
  }
}

bool NothingSentBefore(const std::string& marker) {
  if (!SendText(kMsgConsoleLine, kMarkerSurface, marker)) return false;
  Report report;
  if (!NextBridgeReport(&report)) return false;
  return report.type == kMsgConsoleLine && report.surface_id() == kMarkerSurface &&
         report.text() == marker;
}

}  // namespace test
}  // namespace nimo
