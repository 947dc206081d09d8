#include "tests/support/fault_support.h"

#include "protocol/wire.h"

namespace nimo {
namespace test {

std::string PaintingUrl(std::uint32_t id) { return "about:blank#paint" + std::to_string(id); }

void AddPaintingPages(nimo_test::ScenarioWriter* scenario, const std::vector<std::string>& surface3_extra) {
  const std::string animate = "paint pattern=gradient animate=1";
  scenario->Page(PaintingUrl(2), {"load_start", "load_end", animate + " interval=16"});
  std::vector<std::string> third = {"load_start", "load_end", animate};
  third.insert(third.end(), surface3_extra.begin(), surface3_extra.end());
  scenario->Page(PaintingUrl(3), third);
  scenario->Page("about:blank#paint*", {"load_start", "load_end", animate});
}

SessionOptions PaintingOptions(const std::string& scenario) {
  SessionOptions options;
  options.scenario = scenario;
  options.gpu = true;
  options.url = PaintingUrl(0);
  return options;
}

std::map<long long, std::uint32_t> PaintingSurfaces(const nimo_test::Journal& j) {
  std::map<long long, std::uint32_t> out;
  for (const nimo_test::JournalEntry& e : j.Events("create_browser")) {
    for (std::uint32_t id = 0; id < 4; ++id) {
      if (e.Get("url") == PaintingUrl(id)) out[e.Int("browser", -1)] = id;
    }
  }
  return out;
}

bool StartPainting(EngineSession& s, std::uint32_t width, std::uint32_t height, std::size_t paints,
                   DWORD timeout_ms) {
  if (!s.Start()) return false;
  FakeClient& c = s.client();
  if (!c.SendSurfaceCommand(kMsgResizeSurface, 0, width, height, 0)) return false;
  for (std::uint32_t id = 1; id < 4; ++id) {
    if (!c.SendSurfaceCommand(kMsgCreateSurface, id, width, height, 0, PaintingUrl(id))) return false;
  }
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    // Reading keeps the pipe flowing while the surfaces warm up.
    Report r;
    while (c.Read(&r, 0)) {
    }
    const nimo_test::Journal j = s.Journal();
    const std::map<long long, std::uint32_t> surfaces = PaintingSurfaces(j);
    std::size_t count[4] = {0, 0, 0, 0};
    for (const nimo_test::JournalEntry& e : j.Events("paint.deliver")) {
      const auto it = surfaces.find(e.Int("browser", -1));
      if (it == surfaces.end() || e.Int("width") != width || e.Int("height") != height) continue;
      ++count[it->second];
    }
    if (count[0] >= paints && count[1] >= paints && count[2] >= paints && count[3] >= paints) return true;
    if (GetTickCount64() > deadline) return false;
    Sleep(50);
  }
}

const char kFiguresDirective[] = "process_figures prefix=figures:";

ProcessFigures MeasureEngine(EngineSession& s) {
  static int serial = 0;
  const std::string label = "figures:" + std::to_string(++serial);
  ProcessFigures f;
  if (!s.client().SendSurfaceCommand(kMsgExecuteScript, 0, 0, 0, 0, label) ||
      !s.WaitForEvents("process.figures", 1, 10000, "label", label)) {
    return f;
  }
  const nimo_test::JournalEntry e = s.Journal().Events("process.figures", "label", label).front();
  f.handles = e.Int("handles", -1);
  f.private_bytes = e.Int("private_bytes", -1);
  f.ok = f.handles > 0 && f.private_bytes > 0;
  return f;
}

long long JournalClockMicros() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<long long>(now.QuadPart / frequency.QuadPart * 1000000 +
                                now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
}

}  // namespace test
}  // namespace nimo
