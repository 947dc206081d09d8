#include "bench/bench_util.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace nimo_bench {

long long NowMicros() {
  static const long long frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency;
}

Percentiles OfDoubles(std::vector<double> v) {
  Percentiles p;
  p.samples = v.size();
  if (v.empty()) return p;
  std::sort(v.begin(), v.end());
  p.p50 = v[v.size() / 2];
  p.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
  p.max = v.back();
  return p;
}

Percentiles Of(std::vector<long long> v) {
  return OfDoubles(std::vector<double>(v.begin(), v.end()));
}

std::vector<std::uint8_t> Stamped(std::size_t size, long long stamp) {
  std::vector<std::uint8_t> m(std::max<std::size_t>(size, 8), 0);
  std::memcpy(m.data(), &stamp, sizeof stamp);
  return m;
}

bool WriteAll(HANDLE pipe, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(pipe, data, size, &written, nullptr) && written == size;
}

HANDLE ConnectPeerPipe(const char* name) {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 200 && pipe == INVALID_HANDLE_VALUE; ++i) {
    pipe = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) Sleep(10);
  }
  if (pipe == INVALID_HANDLE_VALUE) return pipe;
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  return pipe;
}

bool PipelinedWrites(HANDLE pipe, int count,
                     const std::function<void(int, std::vector<std::uint8_t>&)>& fill,
                     std::size_t size) {
  constexpr int kInFlight = 32;
  struct Slot {
    OVERLAPPED ov = {};
    std::vector<std::uint8_t> data;
    bool busy = false;
  };
  std::vector<Slot> slots(kInFlight);
  for (Slot& slot : slots) {
    slot.ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    slot.data.resize(size);
  }
  bool ok = true;
  auto finish = [&](Slot& slot) {
    DWORD done = 0;
    if (slot.busy && !GetOverlappedResult(pipe, &slot.ov, &done, TRUE)) ok = false;
    slot.busy = false;
  };
  for (int i = 0; i < count && ok; ++i) {
    Slot& slot = slots[i % kInFlight];
    finish(slot);
    fill(i, slot.data);
    ResetEvent(slot.ov.hEvent);
    if (!WriteFile(pipe, slot.data.data(), static_cast<DWORD>(size), nullptr, &slot.ov) &&
        GetLastError() != ERROR_IO_PENDING) {
      ok = false;
    }
    slot.busy = true;
  }
  for (Slot& slot : slots) {
    finish(slot);
    CloseHandle(slot.ov.hEvent);
  }
  return ok;
}

std::string Row::Met() const {
  switch (target) {
    case Target::kNone:
      return "";
    case Target::kRatioAtMost:
      if (raw <= 0 || engine <= 0) return "";
      return Ratio() <= bound ? "yes" : "NO";
    case Target::kRatioAtLeast:
      if (raw <= 0) return "";
      return Ratio() >= bound ? "yes" : "NO";
    case Target::kValueAtMost:
      if (engine <= 0) return "";
      return engine <= bound ? "yes" : "NO";
    case Target::kValueAtLeast:
      return engine >= bound ? "yes" : "NO";
  }
  return "";
}

std::string Row::TargetText() const {
  char text[48] = "";
  switch (target) {
    case Target::kNone:
      break;
    case Target::kRatioAtMost:
      std::snprintf(text, sizeof text, "ratio <= %g", bound);
      break;
    case Target::kRatioAtLeast:
      std::snprintf(text, sizeof text, "ratio >= %g", bound);
      break;
    case Target::kValueAtMost:
      std::snprintf(text, sizeof text, "<= %g", bound);
      break;
    case Target::kValueAtLeast:
      std::snprintf(text, sizeof text, ">= %g", bound);
      break;
  }
  return text;
}

namespace {

std::string Number(double v) {
  char text[32];
  if (v == 0) return "-";
  if (v >= 100 || v <= -100) {
    std::snprintf(text, sizeof text, "%.0f", v);
  } else if (v >= 1 || v <= -1) {
    std::snprintf(text, sizeof text, "%.2f", v);
  } else {
    std::snprintf(text, sizeof text, "%.3f", v);
  }
  return text;
}

std::string RatioText(const Row& r) { return r.raw > 0 && r.engine > 0 ? Number(r.Ratio()) : "-"; }

}  // namespace

void Table::Print() const {
  std::string section;
  std::printf("\n%-44s %12s %12s %8s %-13s %s\n", "figure", "raw", "engine", "ratio", "target", "met");
  for (const Row& r : rows_) {
    if (r.section != section) {
      section = r.section;
      std::printf("-- %s\n", section.c_str());
    }
    std::printf("%-44s %12s %12s %8s %-13s %s\n", r.figure.c_str(), Number(r.raw).c_str(),
                Number(r.engine).c_str(), RatioText(r).c_str(), r.TargetText().c_str(), r.Met().c_str());
    if (!r.note.empty()) std::printf("    %s\n", r.note.c_str());
  }
}

bool Table::WriteMarkdown(const std::string& path, const std::string& heading) const {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "%s\n\n| section | figure | raw | engine | ratio | target | met | note |\n", heading.c_str());
  std::fprintf(f, "|---|---|---:|---:|---:|---|---|---|\n");
  for (const Row& r : rows_) {
    std::fprintf(f, "| %s | %s | %s | %s | %s | %s | %s | %s |\n", r.section.c_str(), r.figure.c_str(),
                 Number(r.raw).c_str(), Number(r.engine).c_str(), RatioText(r).c_str(), r.TargetText().c_str(),
                 r.Met().c_str(), r.note.c_str());
  }
  return std::fclose(f) == 0;
}

}  // namespace nimo_bench
