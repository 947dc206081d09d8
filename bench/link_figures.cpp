#include "bench/link_figures.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/wire.h"
#include "tests/support/engine_session.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"

namespace nimo_bench {

using nimo::test::EngineSession;
using nimo::test::FakeClient;
using nimo::test::Report;
using nimo::test::SessionOptions;

namespace {

struct EngineFigures {
  Percentiles command, report;
  std::vector<long long> command_samples, report_samples;
  double rate[3] = {0, 0, 0};
  double input_rate = 0;
  long long lost = -1, reordered = -1;
};

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

bool EngineLatency(EngineFigures* f) {
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
  Pool(&f->report_samples, report);
  Pool(&f->command_samples, command);
  f->report = Of(f->report_samples);
  f->command = Of(f->command_samples);
  return !report.empty() && !command.empty();
}

bool EngineScriptRates(EngineFigures* f) {
  SessionOptions options;
  options.scenario = Scenario(false);
  options.journal = false;  // the journal would write every script whole
  EngineSession s(options);
  if (!s.Start()) return false;
  FakeClient& c = s.client();
  for (int i = 0; i < 3; ++i) {
    std::vector<std::uint8_t> frame(12 + 16 + kScriptSizes[i], 'x');
    nimo::WriteFrameHeader(frame.data(), nimo::kMsgExecuteScript,
                           static_cast<std::uint32_t>(16 + kScriptSizes[i]));
    nimo::EncodeSurfaceHead(nimo::SurfaceHead{0, 0, 0, 0}, frame.data() + 12);
    const std::string marker = "BENCH-END" + std::to_string(i);
    f->rate[i] = TimedSends(c, frame, kScriptCounts[i], [&] {
      return c.SendSurfaceCommand(nimo::kMsgExecuteScript, 0, 0, 0, 0, marker) &&
             ReadConsoleWith(c, marker, 120000);
    });
  }
  c.SendShutdown();
  s.WaitExit();
  return true;
}

bool EngineInputRate(EngineFigures* f) {
  SessionOptions options;
  options.scenario = Scenario(false);
  EngineSession s(options);
  if (!s.Start()) return false;
  FakeClient& c = s.client();
  if (!s.WaitForEvents("cb.on_after_created", 1, 10000)) return false;
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
  f->input_rate = elapsed > 0 ? kInputCount * 1e6 / static_cast<double>(elapsed) : 0;
  long long expected = 0, reordered = 0;
  const nimo_test::Journal j = s.Journal();
  for (const nimo_test::JournalEntry& e : j.Events("host.send_mouse_move_event")) {
    const long long index = e.Int("x") + 30000 * e.Int("y");
    if (index != expected) ++reordered;
    expected = index + 1;
  }
  f->lost = kInputCount - static_cast<long long>(j.Count("host.send_mouse_move_event"));
  f->reordered = reordered;
  return true;
}

// What the stand-in's journal costs between its time stamp and the product's callback:
// one appended line, as the stand-in writes it.
Percentiles JournalWriteCost() {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "nimo-bench-journal.txt";
  HANDLE f = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<long long> costs;
  if (f == INVALID_HANDLE_VALUE) return Of(costs);
  const std::string line(110, 'j');
  for (int i = 0; i < kLatencySamples; ++i) {
    const long long start = NowMicros();
    DWORD written = 0;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    costs.push_back(NowMicros() - start);
  }
  CloseHandle(f);
  DeleteFileA(path.c_str());
  return Of(costs);
}

}  // namespace

void MeasureLink(const RawFigures& rates, Table* table) {
  RawFigures raw = rates;
  raw.to_peer_samples.clear();
  raw.from_peer_samples.clear();
  EngineFigures engine;
  for (int round = 0; round < kLatencyRounds; ++round) {
    RawFigures r;
    if (!MeasureRawLatency(&r, kSpacingMs)) std::printf("raw latency measurement failed\n");
    PoolLatency(&raw, r);
    if (!EngineLatency(&engine)) std::printf("engine latency measurement failed\n");
  }
  if (!EngineScriptRates(&engine)) std::printf("engine script rates failed\n");
  if (!EngineInputRate(&engine)) std::printf("engine input rate failed\n");
  using T = Row::Target;
  const char* s = "link";
  table->Add({s, "command latency p50 (us)", raw.to_peer.p50, engine.command.p50, T::kNone, 0, ""});
  table->Add({s, "command latency p99 (us)", raw.to_peer.p99, engine.command.p99, T::kNone, 0, ""});
  table->Add({s, "report latency p50 (us)", raw.from_peer.p50, engine.report.p50, T::kRatioAtMost, 1.5, ""});
  table->Add({s, "report latency p99 (us)", raw.from_peer.p99, engine.report.p99, T::kRatioAtMost, 2, ""});
  const Percentiles journal = JournalWriteCost();
  table->Add({s, "stand-in journal line in those paths p50 (us)", 0, journal.p50, T::kNone, 0,
              "written between the stand-in's time stamp and the product's callback; p99 in the next row"});
  table->Add({s, "stand-in journal line p99 (us)", 0, journal.p99, T::kNone, 0, ""});
  const char* names[] = {"script 16 B (msgs/s)", "script 4 KiB (msgs/s)", "script 1 MiB (msgs/s)"};
  for (int i = 0; i < 3; ++i) {
    table->Add({s, names[i], raw.rate[i], engine.rate[i], i == 2 ? T::kRatioAtLeast : T::kNone, 0.8, ""});
  }
  char note[96];
  std::snprintf(note, sizeof note, "lost %lld, out of order %lld of %d", engine.lost, engine.reordered, kInputCount);
  table->Add({s, "input events (events/s)", raw.input_rate, engine.input_rate, T::kValueAtLeast, 50000, note});
}

}  // namespace nimo_bench
