// The two ways a surface's frames arrive from the engine, both ending in the surface's
// shared texture and one FrameReady to the client: on_accelerated_paint (the engine's own
// shared texture, opened by handle and copied on the GPU, whole after a (re)creation and
// otherwise by dirty rectangles) and on_paint (a BGRA buffer uploaded whole). Paints of a
// page's popup widget arrive the same two ways and are drawn over the view (surfaces/popup.h).
//
// Threads: the callbacks run on the engine's UI thread; the counters may be read anywhere.
#pragma once
#include <atomic>
#include <cstdint>

#include "base/portable/engine_abi.h"

namespace nimo {

// Paints of either path that reached their copy; the one that makes it 1 writes the
// process's only "FIRST" line. Reported at shutdown.
extern std::atomic<std::int32_t> first_paint_counter;
// Failed opens of the engine's texture; only the first is logged.
extern std::atomic<std::int32_t> open_fail_count;

// Sets on_paint, on_accelerated_paint and the popup callbacks of a surface record's render
// handler.
void InstallPaintCallbacks(cef_render_handler_t* handler);

}  // namespace nimo
