// Shared pieces of the benchmarks: the clock every process of a run agrees on,
// percentiles, pipelined pipe writes, and the table every figure ends up in (printed as
// text and written as Markdown).
//
// Threads: one benchmark thread; NowMicros from any thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nimo_bench {

// Microseconds of the performance counter, which all processes of the system share (the
// stand-in engine journals with the same clock).
long long NowMicros();

struct Percentiles {
  double p50 = 0, p99 = 0, max = 0;
  std::size_t samples = 0;
};
Percentiles Of(std::vector<long long> values);
Percentiles OfDoubles(std::vector<double> values);

// A message of `size` bytes (at least 8) that starts with `stamp`.
std::vector<std::uint8_t> Stamped(std::size_t size, long long stamp);
bool WriteAll(HANDLE pipe, const void* data, DWORD size);
// A peer process's end of the parent's message pipe `name`, retried for two seconds while
// the parent makes it; INVALID_HANDLE_VALUE when it never came.
HANDLE ConnectPeerPipe(const char* name);

// Writes `count` messages of `size` bytes with up to 32 overlapped writes outstanding, so
// the figure is the pipe's and the receiver's rate, not one round trip per message.
bool PipelinedWrites(HANDLE pipe, int count,
                     const std::function<void(int, std::vector<std::uint8_t>&)>& fill,
                     std::size_t size);

// One row: the engine's figure beside the raw limit it is measured against (0: none),
// and the target, if the figure has one.
struct Row {
  std::string section;
  std::string figure;
  double raw = 0;
  double engine = 0;
  enum class Target { kNone, kRatioAtMost, kRatioAtLeast, kValueAtMost, kValueAtLeast } target = Target::kNone;
  double bound = 0;
  std::string note;

  double Ratio() const { return raw > 0 ? engine / raw : 0; }
  // "yes", "NO" or "" when there is no target (or no figure).
  std::string Met() const;
  std::string TargetText() const;
};

class Table {
 public:
  void Add(const Row& row) { rows_.push_back(row); }
  void Print() const;
  bool WriteMarkdown(const std::string& path, const std::string& heading) const;
  const std::vector<Row>& rows() const { return rows_; }

 private:
  std::vector<Row> rows_;
};

}  // namespace nimo_bench
