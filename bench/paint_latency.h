// Paint -> FrameReady latency counted the product's way: from the moment the stand-in
// engine calls the paint callback (its `paint.delivered` journal line, written after the
// call) to the moment the client read the FrameReady, less the stand-in GPU's own time
// inside that call. The stand-in's work before the call (its journal, texture writes,
// screenshots) is not counted at all; its GPU time inside the call is kept apart.
//
// Threads: the benchmark's main thread.
#pragma once
#include <string>
#include <vector>

#include "tests/support/journal.h"

namespace nimo_bench {

// One view paint handed to the product.
struct PaintCall {
  long long called = 0;          // the stand-in's stamp right before the call (journal clock)
  long long standin_gpu_us = 0;  // time inside the stand-in GPU's entry points during the call
  long long copied = 0;          // pixel bytes the stand-in GPU copied during the call
};

// The view paints of `width` x `height` on `path` ("gpu" or "cpu") that reached the
// product's callback, in order.
std::vector<PaintCall> PaintCalls(const nimo_test::Journal& journal, const char* path, int width, int height);

struct PaintLatency {
  std::vector<long long> product;      // read - call - stand-in GPU time: the product's own
  std::vector<long long> with_gpu;     // read - call: the product and the stand-in GPU
  std::vector<long long> standin_gpu;  // the stand-in GPU's time inside each paired call
};

// Pairs each FrameReady read (NowMicros of the client) with its paint: in order when no
// frame was coalesced, else with the newest paint called before the read (what
// coalescing keeps).
PaintLatency PairWithReads(const std::vector<PaintCall>& calls, const std::vector<long long>& received);
void Pool(PaintLatency* pooled, const PaintLatency& round);

// The engine's own frame stamps (its --nimomp-frame-stamps=1 log lines): when the bytes of
// each FrameReady of `surface` were handed to WriteFile, in the order written.
std::vector<long long> HandedStamps(const std::string& log, unsigned surface);
// The product's own part of each paint: from the call to the hand-over to WriteFile, less
// the stand-in GPU's time inside the call (paired as PairWithReads pairs the reads; stamps
// of frames before the first of `calls`, another size, are left out).
std::vector<long long> OwnPart(const std::vector<PaintCall>& calls, const std::vector<long long>& handed);

}  // namespace nimo_bench
