// The performance report: every benchmark in one process tree, one table. The raw pipe
// between this program and a copy of itself is measured first; every engine figure is
// set beside it as a ratio, with its target.
//
//   bench_report.exe [--only link|frames|ring|send|real|pacing] [--markdown FILE] [--before-engine EXE]
//
// --before-engine names another build of the engine copied into the bin folder (say the
// one before a change): the latency runs of the frames and real-page sections then
// alternate between it and this build, three rounds each, and both get their rows.
// Prints the table and writes it as Markdown (default bench-report.md in the current
// folder). Exit code 0 when every section ran, whether or not its targets were met:
// figures are for reading, not for failing a build.
#include <windows.h>
#include <timeapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_util.h"
#include "bench/frames_figures.h"
#include "bench/link_figures.h"
#include "bench/pacing_figures.h"
#include "bench/raw_pipe.h"
#include "bench/raw_stream.h"
#include "bench/real_figures.h"
#include "bench/ring_figures.h"
#include "bench/send_cost.h"
#include "tests/support/process_harness.h"

int main(int argc, char** argv) {
  if (argc >= 4 && (std::strcmp(argv[1], "--raw-peer") == 0 || std::strcmp(argv[1], "--raw-peer-latency") == 0)) {
    const long spacing = std::strtol(argv[3], nullptr, 10);
    const bool latency_only = std::strcmp(argv[1], "--raw-peer-latency") == 0;
    return nimo_bench::RunRawPeer(argv[2], latency_only, spacing > 0 ? static_cast<DWORD>(spacing) : 1);
  }
  if (argc >= 5 && std::strcmp(argv[1], "--raw-peer-stream") == 0) {
    const long spacing = std::strtol(argv[3], nullptr, 10);
    return nimo_bench::RunRawStreamPeer(argv[2], spacing > 0 ? static_cast<DWORD>(spacing) : 1,
                                        static_cast<int>(std::strtol(argv[4], nullptr, 10)));
  }
  std::string only, markdown = "bench-report.md", before_engine;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else if (std::strcmp(argv[i], "--markdown") == 0 && i + 1 < argc) {
      markdown = argv[++i];
    } else if (std::strcmp(argv[i], "--before-engine") == 0 && i + 1 < argc) {
      before_engine = argv[++i];
    } else {
      std::fprintf(stderr, "usage: bench_report [--only link|frames|ring|send|real|pacing] [--markdown FILE] "
                           "[--before-engine EXE]\n");
      return 2;
    }
  }
  if (!before_engine.empty() && GetFileAttributesA((nimo::test::TestBinDirectory() + "\\" + before_engine).c_str()) ==
                                    INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "no %s beside bench_report.exe\n", before_engine.c_str());
    return 2;
  }
  if (!only.empty() && only != "link" && only != "frames" && only != "ring" && only != "send" && only != "real" &&
      only != "pacing") {
    std::fprintf(stderr, "unknown section: %s\n", only.c_str());
    return 2;
  }
  timeBeginPeriod(1);
  nimo_bench::Table table;
  nimo_bench::RawFigures raw;
  bool ok = true;
  if (only != "send" && only != "pacing") {
    std::printf("raw pipe ...\n");
    if (!nimo_bench::MeasureRawPipe(&raw)) {
      std::printf("raw pipe measurement failed\n");
      ok = false;
    }
  }
  if (only.empty() || only == "link") {
    std::printf("link through the engine ...\n");
    nimo_bench::MeasureLink(raw, &table);
  }
  if (only.empty() || only == "frames") {
    std::printf("frames through the engine ...\n");
    nimo_bench::MeasureFrames(raw, before_engine, &table);
  }
  if (only.empty() || only == "ring") {
    std::printf("frame ring through the engine ...\n");
    nimo_bench::MeasureRing(raw, &table);
  }
  if (only.empty() || only == "real") {
    std::printf("real pages of headless Chromium through the engine ...\n");
    nimo_bench::MeasureRealPages(raw, before_engine, &table);
  }
  if (only.empty() || only == "pacing") {
    std::printf("frame pacing on real pages of headless Chromium ...\n");
    nimo_bench::MeasurePacing(&table);
  }
  if (only.empty() || only == "send") {
    std::printf("SendFrame in this process ...\n");
    nimo_bench::MeasureSendCost(&table);
  }
  timeEndPeriod(1);
  table.Print();
  if (!table.WriteMarkdown(markdown, "## nimo-webengine performance report")) {
    std::fprintf(stderr, "could not write %s\n", markdown.c_str());
    return 1;
  }
  std::printf("\nwritten as Markdown to %s\n", markdown.c_str());
  return ok ? 0 : 1;
}
