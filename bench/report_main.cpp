// The performance report: every benchmark in one process tree, one table. The raw pipe
// between this program and a copy of itself is measured first; every engine figure is
// set beside it as a ratio, with its target.
//
//   bench_report.exe [--only link|frames|ring|send|real] [--markdown FILE]
//
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
#include "bench/raw_pipe.h"
#include "bench/real_figures.h"
#include "bench/ring_figures.h"
#include "bench/send_cost.h"

int main(int argc, char** argv) {
  if (argc >= 4 && (std::strcmp(argv[1], "--raw-peer") == 0 || std::strcmp(argv[1], "--raw-peer-latency") == 0)) {
    const long spacing = std::strtol(argv[3], nullptr, 10);
    const bool latency_only = std::strcmp(argv[1], "--raw-peer-latency") == 0;
    return nimo_bench::RunRawPeer(argv[2], latency_only, spacing > 0 ? static_cast<DWORD>(spacing) : 1);
  }
  std::string only, markdown = "bench-report.md";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else if (std::strcmp(argv[i], "--markdown") == 0 && i + 1 < argc) {
      markdown = argv[++i];
    } else {
      std::fprintf(stderr, "usage: bench_report [--only link|frames|ring|send|real] [--markdown FILE]\n");
      return 2;
    }
  }
  if (!only.empty() && only != "link" && only != "frames" && only != "ring" && only != "send" && only != "real") {
    std::fprintf(stderr, "unknown section: %s\n", only.c_str());
    return 2;
  }
  timeBeginPeriod(1);
  nimo_bench::Table table;
  nimo_bench::RawFigures raw;
  bool ok = true;
  if (only != "send") {
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
    nimo_bench::MeasureFrames(raw, &table);
  }
  if (only.empty() || only == "ring") {
    std::printf("frame ring through the engine ...\n");
    nimo_bench::MeasureRing(raw, &table);
  }
  if (only.empty() || only == "real") {
    std::printf("real pages of headless Chromium through the engine ...\n");
    nimo_bench::MeasureRealPages(raw, &table);
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
