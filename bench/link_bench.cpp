// The client link's cost against the pipe it runs on. First a raw message-mode pipe
// between two processes (this program and a copy of itself): one-way latency both ways,
// message rates for 16 B, 4 KiB and 1 MiB payloads, and small input-sized messages. Then
// the same through the engine with the stand-in library: ExecuteScript until the engine
// calls execute_java_script (command latency), a page console message until the client
// holds its ConsoleLine (report latency), ExecuteScript rates, and InputEvent rates with a
// check that none was lost or reordered. Prints one table, each engine figure beside the
// raw one.
//
// One-way times compare performance-counter readings of two processes, which share the
// system's counter. The stand-in journals with the same counter.
#include <windows.h>
#include <timeapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "link/portable/wire.h"
#include "tests/support/engine_session.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"

using nimo::test::EngineSession;
using nimo::test::FakeClient;
using nimo::test::Report;
using nimo::test::SessionOptions;

namespace {

constexpr int kLatencySamples = 400;
constexpr DWORD kSpacingMs = 2;  // latency samples are spaced so they measure no queueing
// Script texts; the largest fills the largest payload (head + text = 1 MiB).
const std::size_t kSizes[] = {16, 4096, (1 << 20) - 16};
const int kCounts[] = {20000, 4000, 60};
constexpr int kInputCount = 50000;
constexpr std::size_t kInputFrame = 12 + 32;

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

struct Percentiles {
  double p50 = 0, p99 = 0;
};

Percentiles Of(std::vector<long long> v) {
  Percentiles p;
  if (v.empty()) return p;
  std::sort(v.begin(), v.end());
  p.p50 = static_cast<double>(v[v.size() / 2]);
  p.p99 = static_cast<double>(v[std::min(v.size() - 1, v.size() * 99 / 100)]);
  return p;
}

std::vector<std::uint8_t> Stamped(std::size_t size, long long stamp) {
  std::vector<std::uint8_t> m(std::max<std::size_t>(size, 8), 0);
  std::memcpy(m.data(), &stamp, sizeof stamp);
  return m;
}

// --- The raw peer (child process) ---------------------------------------------------------
bool WriteAll(HANDLE pipe, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(pipe, data, size, &written, nullptr) && written == size;
}

int RunRawPeer(const char* name) {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 200 && pipe == INVALID_HANDLE_VALUE; ++i) {
    pipe = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) Sleep(10);
  }
  if (pipe == INVALID_HANDLE_VALUE) return 1;
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  std::vector<std::uint8_t> buffer(nimo::kMaxFrameSize + 64);
  DWORD got = 0;
  // Peer to parent: stamped messages, spaced.
  for (int i = 0; i < kLatencySamples; ++i) {
    const std::vector<std::uint8_t> m = Stamped(16, NowMicros());
    WriteAll(pipe, m.data(), static_cast<DWORD>(m.size()));
    Sleep(kSpacingMs);
  }
  // Parent to peer: stamped messages; the latencies go back in one message.
  std::vector<long long> latencies;
  for (int i = 0; i < kLatencySamples; ++i) {
    if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return 2;
    long long stamp = 0;
    std::memcpy(&stamp, buffer.data(), sizeof stamp);
    latencies.push_back(NowMicros() - stamp);
  }
  WriteAll(pipe, latencies.data(), static_cast<DWORD>(latencies.size() * sizeof(long long)));
  // Rates: read `count` messages, then acknowledge.
  auto drain = [&](int count) {
    for (int i = 0; i < count; ++i) {
      if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
    }
    const char ack = 'A';
    return WriteAll(pipe, &ack, 1);
  };
  for (int c : kCounts) {
    if (!drain(c)) return 3;
  }
  if (!drain(kInputCount)) return 4;
  CloseHandle(pipe);
  return 0;
}

// --- Raw figures (parent) -----------------------------------------------------------------
struct Figures {
  Percentiles command, report;
  double rate[3] = {0, 0, 0};  // messages per second by size
  double input_rate = 0;
  long long lost = -1, reordered = -1;
};

// Writes `count` messages with up to kInFlight overlapped writes outstanding, so the
// figure is the pipe's and the receiver's rate, not one round trip per message.
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

double TimedSends(FakeClient& client, const std::vector<std::uint8_t>& message, int count,
                  const std::function<bool()>& wait_end) {
  const long long start = NowMicros();
  if (!PipelinedWrites(client.handle(), count,
                       [&](int, std::vector<std::uint8_t>& out) {
                         if (out != message) out = message;
                       },
                       message.size())) {
    return 0;
  }
  if (!wait_end()) return 0;
  const long long elapsed = NowMicros() - start;
  return elapsed > 0 ? count * 1e6 / static_cast<double>(elapsed) : 0;
}

bool RawFigures(Figures* f) {
  FakeClient client(1 << 20);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string command_line = std::string("\"") + self + "\" --raw-peer " + client.pipe_name();
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  CloseHandle(pi.hThread);
  bool ok = client.WaitConnected(10000);
  Report r;
  std::vector<long long> report;
  for (int i = 0; ok && i < kLatencySamples; ++i) {
    ok = client.Read(&r, 10000);
    if (!ok) break;
    long long stamp = 0;
    std::memcpy(&stamp, r.raw.data(), sizeof stamp);
    report.push_back(NowMicros() - stamp);
  }
  for (int i = 0; ok && i < kLatencySamples; ++i) {
    ok = client.SendRaw(Stamped(16, NowMicros()));
    Sleep(kSpacingMs);
  }
  std::vector<long long> command;
  if (ok && client.Read(&r, 10000)) {
    command.resize(r.raw.size() / sizeof(long long));
    std::memcpy(command.data(), r.raw.data(), command.size() * sizeof(long long));
  }
  f->command = Of(command);
  f->report = Of(report);
  auto ack = [&client] {
    Report a;
    return client.Read(&a, 60000);
  };
  for (int s = 0; ok && s < 3; ++s) {
    f->rate[s] = TimedSends(client, std::vector<std::uint8_t>(12 + 16 + kSizes[s], 'x'), kCounts[s], ack);
  }
  if (ok) f->input_rate = TimedSends(client, std::vector<std::uint8_t>(kInputFrame, 1), kInputCount, ack);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hProcess);
  return ok;
}

// --- Engine figures -----------------------------------------------------------------------
std::string Scenario(bool report_latency) {
  nimo_test::ScenarioWriter s;
  s.Line("script_echo prefix=BENCH-END");
  if (report_latency) {
    std::vector<std::string> actions = {"load_start", "load_end", "wait 300"};
    for (int i = 0; i < kLatencySamples; ++i) {
      actions.push_back("console level=0 line=1 source=bench message=BENCH-R" + std::to_string(i));
      actions.push_back("wait " + std::to_string(kSpacingMs));
    }
    s.Page("*", actions);
  }
  return s.Text();
}

// Reads reports until a ConsoleLine containing `marker` arrives.
bool ReadConsoleWith(FakeClient& client, const std::string& marker, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  Report r;
  while (GetTickCount64() < deadline) {
    if (!client.Read(&r, static_cast<DWORD>(deadline - GetTickCount64()))) return false;
    if (r.type == nimo::kMsgConsoleLine && r.text().find(marker) != std::string::npos) return true;
  }
  return false;
}

bool EngineLatency(Figures* f) {
  SessionOptions options;
  options.scenario = Scenario(true);
  EngineSession s(options);
  if (!s.Start()) return false;
  FakeClient& c = s.client();
  // Report latency: console messages raised by the page, received as ConsoleLine.
  std::vector<long long> received(kLatencySamples, 0);
  int seen = 0;
  Report r;
  while (seen < kLatencySamples && c.Read(&r, 10000)) {
    if (r.type != nimo::kMsgConsoleLine) continue;
    const std::string text = r.text();
    const std::size_t at = text.find("BENCH-R");
    if (at == std::string::npos) continue;
    const int index = std::atoi(text.c_str() + at + 7);
    if (index >= 0 && index < kLatencySamples) received[index] = NowMicros();
    ++seen;
  }
  // Command latency: ExecuteScript until execute_java_script is called.
  std::vector<long long> sent(kLatencySamples, 0);
  for (int i = 0; i < kLatencySamples; ++i) {
    sent[i] = NowMicros();
    c.SendSurfaceCommand(nimo::kMsgExecuteScript, 0, 0, 0, 0, "BENCH-C" + std::to_string(i));
    Sleep(kSpacingMs);
  }
  s.WaitForEvents("frame.execute_java_script", kLatencySamples, 10000);
  c.SendShutdown();
  s.WaitExit();
  const nimo_test::Journal j = s.Journal();
  std::vector<long long> report, command;
  for (const nimo_test::JournalEntry& e : j.Events("cb.on_console_message")) {
    const std::string m = e.Get("message");
    if (m.compare(0, 7, "BENCH-R") != 0) continue;
    const int i = std::atoi(m.c_str() + 7);
    if (i >= 0 && i < kLatencySamples && received[i]) report.push_back(received[i] - e.micros);
  }
  for (const nimo_test::JournalEntry& e : j.Events("frame.execute_java_script")) {
    const std::string code = e.Get("code");
    if (code.compare(0, 7, "BENCH-C") != 0) continue;
    const int i = std::atoi(code.c_str() + 7);
    if (i >= 0 && i < kLatencySamples) command.push_back(e.micros - sent[i]);
  }
  f->report = Of(report);
  f->command = Of(command);
  std::printf("engine latency samples: %zu report, %zu command\n", report.size(), command.size());
  return !report.empty() && !command.empty();
}

bool EngineScriptRates(Figures* f) {
  SessionOptions options;
  options.scenario = Scenario(false);
  options.journal = false;  // the journal would write every script whole
  EngineSession s(options);
  if (!s.Start()) return false;
  FakeClient& c = s.client();
  for (int i = 0; i < 3; ++i) {
    std::vector<std::uint8_t> frame(12 + 16 + kSizes[i], 'x');
    nimo::WriteFrameHeader(frame.data(), nimo::kMsgExecuteScript,
                           static_cast<std::uint32_t>(16 + kSizes[i]));
    nimo::EncodeSurfaceHead(nimo::SurfaceHead{0, 0, 0, 0}, frame.data() + 12);
    const std::string marker = "BENCH-END" + std::to_string(i);
    f->rate[i] = TimedSends(c, frame, kCounts[i], [&] {
      return c.SendSurfaceCommand(nimo::kMsgExecuteScript, 0, 0, 0, 0, marker) &&
             ReadConsoleWith(c, marker, 120000);
    });
  }
  c.SendShutdown();
  s.WaitExit();
  return true;
}

bool EngineInputRate(Figures* f) {
  SessionOptions options;
  options.scenario = Scenario(false);
  EngineSession s(options);
  if (!s.Start()) return false;
  FakeClient& c = s.client();
  if (!s.WaitForEvents("cb.on_after_created", 1, 10000)) return false;
  const int i = kInputCount;
  const long long start = NowMicros();
  PipelinedWrites(c.handle(), kInputCount,
                  [](int n, std::vector<std::uint8_t>& frame) {
                    nimo::WriteFrameHeader(frame.data(), nimo::kMsgInputEvent, 32);
                    const std::uint64_t lparam = static_cast<std::uint64_t>(n % 30000) |
                                                 (static_cast<std::uint64_t>(n / 30000) << 16);
                    nimo::EncodeInputRecord(nimo::InputRecord{0, 0x200, 0, lparam, 0, 0},
                                            frame.data() + 12);
                  },
                  kInputFrame);
  // The echo is raised on the UI thread behind every input task already posted.
  const bool done = c.SendSurfaceCommand(nimo::kMsgExecuteScript, 0, 0, 0, 0, "BENCH-END-input") &&
                    ReadConsoleWith(c, "BENCH-END-input", 120000);
  const long long elapsed = NowMicros() - start;
  c.SendShutdown();
  s.WaitExit();
  if (!done) return false;
  f->input_rate = elapsed > 0 ? i * 1e6 / static_cast<double>(elapsed) : 0;
  long long expected = 0, reordered = 0;
  for (const nimo_test::JournalEntry& e : s.Journal().Events("host.send_mouse_move_event")) {
    const long long index = e.Int("x") + 30000 * e.Int("y");
    if (index != expected) ++reordered;
    expected = index + 1;
  }
  f->lost = kInputCount - static_cast<long long>(s.Journal().Count("host.send_mouse_move_event"));
  f->reordered = reordered;
  return true;
}

void Row(const char* name, double raw, double engine, bool lower_is_better) {
  const double ratio = raw > 0 ? engine / raw : 0;
  std::printf("| %-28s | %12.1f | %12.1f | %6.2f%s |\n", name, raw, engine, ratio,
              lower_is_better ? "x" : " ");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--raw-peer") == 0) return RunRawPeer(argv[2]);
  timeBeginPeriod(1);
  Figures raw, engine;
  if (!RawFigures(&raw)) std::printf("raw pipe measurement failed\n");
  if (!EngineLatency(&engine)) std::printf("engine latency measurement failed\n");
  if (!EngineScriptRates(&engine)) std::printf("engine script rates failed\n");
  if (!EngineInputRate(&engine)) std::printf("engine input rate failed\n");
  timeEndPeriod(1);

  std::printf("\n| %-28s | %12s | %12s | %7s |\n", "figure", "raw pipe", "engine", "ratio");
  std::printf("|------------------------------|--------------|--------------|---------|\n");
  Row("command latency p50 (us)", raw.command.p50, engine.command.p50, true);
  Row("command latency p99 (us)", raw.command.p99, engine.command.p99, true);
  Row("report latency p50 (us)", raw.report.p50, engine.report.p50, true);
  Row("report latency p99 (us)", raw.report.p99, engine.report.p99, true);
  Row("script 16 B (msgs/s)", raw.rate[0], engine.rate[0], false);
  Row("script 4 KiB (msgs/s)", raw.rate[1], engine.rate[1], false);
  Row("script 1 MiB (msgs/s)", raw.rate[2], engine.rate[2], false);
  Row("input events (events/s)", raw.input_rate, engine.input_rate, false);
  std::printf("\ninput events lost: %lld, out of order: %lld (of %d)\n", engine.lost,
              engine.reordered, kInputCount);
  return 0;
}
