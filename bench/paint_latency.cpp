#include "bench/paint_latency.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace nimo_bench {

using nimo_test::JournalEntry;

std::vector<PaintCall> PaintCalls(const nimo_test::Journal& journal, const char* path, int width, int height) {
  // A browser's paint.deliver (what is painted) and its paint.delivered (the call's
  // timing) are written by the engine's UI thread one after the other.
  std::map<std::pair<unsigned long, long long>, const JournalEntry*> announced;
  std::vector<PaintCall> out;
  for (const JournalEntry& e : journal.entries()) {
    const auto browser = std::make_pair(e.pid, e.Int("browser", -1));
    if (e.event == "paint.deliver") {
      announced[browser] = &e;
    } else if (e.event == "paint.delivered") {
      auto it = announced.find(browser);
      if (it == announced.end()) continue;
      const JournalEntry& d = *it->second;
      announced.erase(it);
      if (d.Get("path") != path || d.Int("type") != 0 || d.Int("width") != width || d.Int("height") != height) continue;
      PaintCall c;
      c.called = e.Int("call_us");
      c.standin_gpu_us = e.Int("gpu_us");
      c.copied = e.Int("copied");
      out.push_back(c);
    }
  }
  return out;
}

PaintLatency PairWithReads(const std::vector<PaintCall>& calls, const std::vector<long long>& received) {
  PaintLatency out;
  auto add = [&out](const PaintCall& c, long long read) {
    out.with_gpu.push_back(read - c.called);
    out.product.push_back(read - c.called - c.standin_gpu_us);
    out.standin_gpu.push_back(c.standin_gpu_us);
  };
  if (calls.size() == received.size()) {
    for (std::size_t i = 0; i < calls.size(); ++i) add(calls[i], received[i]);
    return out;
  }
  std::size_t p = 0;
  for (long long t : received) {
    while (p + 1 < calls.size() && calls[p + 1].called <= t) ++p;
    if (p < calls.size() && calls[p].called <= t) add(calls[p], t);
  }
  return out;
}

void Pool(PaintLatency* pooled, const PaintLatency& round) {
  pooled->product.insert(pooled->product.end(), round.product.begin(), round.product.end());
  pooled->with_gpu.insert(pooled->with_gpu.end(), round.with_gpu.begin(), round.with_gpu.end());
  pooled->standin_gpu.insert(pooled->standin_gpu.end(), round.standin_gpu.begin(), round.standin_gpu.end());
}

std::vector<long long> HandedStamps(const std::string& log, unsigned surface) {
  static const char kLine[] = "[nimo-webengine][stamps] frame ";
  std::vector<long long> out;
  for (std::size_t at = log.find(kLine); at != std::string::npos; at = log.find(kLine, at + 1)) {
    unsigned id = 0;
    long long handed = 0;
    if (std::sscanf(log.c_str() + at + std::strlen(kLine), "%u handed %lld", &id, &handed) == 2 && id == surface) {
      out.push_back(handed);
    }
  }
  return out;
}

std::vector<long long> OwnPart(const std::vector<PaintCall>& calls, const std::vector<long long>& handed) {
  if (calls.empty()) return {};
  std::vector<long long> kept;
  for (long long t : handed) {
    if (t >= calls.front().called) kept.push_back(t);
  }
  return PairWithReads(calls, kept).product;
}

}  // namespace nimo_bench
