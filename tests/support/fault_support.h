// Helpers of the fault-injection tests: an engine whose four surfaces paint without pause
// (on the stand-in GPU, surface 2 on the CPU path), the browser-to-surface map of a
// journal, the engine process's handle count and memory, and the journal's clock.
//
// Threads: one test thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/engine_session.h"
#include "tests/support/journal.h"

namespace nimo {
namespace test {

// The page of surface `id` in a painting session ("about:blank#paint<id>").
std::string PaintingUrl(std::uint32_t id);

// Adds the page blocks of the painting session: every page animates a gradient (each
// frame's number in its red channel) from its load on; surfaces 0, 1 and 3 paint on the
// engine's begin frames, surface 2, which has none, on its page's own 16 ms timer.
// `surface3_extra` are further actions of surface 3's page, after its animation starts.
void AddPaintingPages(nimo_test::ScenarioWriter* scenario,
                      const std::vector<std::string>& surface3_extra = {});

// Options of a painting session: the stand-in GPU, surface 0 on its painting page.
SessionOptions PaintingOptions(const std::string& scenario);

// After Start: sizes surface 0 and creates surfaces 1 to 3 at `width` x `height`, then
// waits until each of the four has painted `paints` frames at that size.
bool StartPainting(EngineSession& s, std::uint32_t width, std::uint32_t height, std::size_t paints,
                   DWORD timeout_ms);

// Engine browser id -> surface id, from the URLs of the journal's create_browser lines
// (PaintingUrl pages only).
std::map<long long, std::uint32_t> PaintingSurfaces(const nimo_test::Journal& j);

// The engine process's handle count and memory at this moment, as the stand-in engine
// measures them from inside (a marked script on surface 0, which must have its browser;
// the scenario needs kFiguresDirective). `ok` is false when no figures came.
extern const char kFiguresDirective[];
struct ProcessFigures {
  bool ok = false;
  long long handles = 0;
  long long private_bytes = 0;
};
ProcessFigures MeasureEngine(EngineSession& s);

// Now, on the clock of the journal's microseconds.
long long JournalClockMicros();

}  // namespace test
}  // namespace nimo
