#include "bench/raw_pipe.h"

#include <cstring>
#include <string>

#include "protocol/wire.h"
#include "tests/support/fake_client.h"

namespace nimo_bench {

using nimo::test::FakeClient;
using nimo::test::Report;

int RunRawPeer(const char* name, bool latency_only, DWORD spacing_ms) {
  const HANDLE pipe = ConnectPeerPipe(name);
  if (pipe == INVALID_HANDLE_VALUE) return 1;
  std::vector<std::uint8_t> buffer(nimo::kMaxFrameSize + 64);
  DWORD got = 0;
  // Peer to parent: stamped messages, spaced.
  for (int i = 0; i < kLatencySamples; ++i) {
    const std::vector<std::uint8_t> m = Stamped(kLatencyMessage, NowMicros());
    WriteAll(pipe, m.data(), static_cast<DWORD>(m.size()));
    Sleep(spacing_ms);
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
  if (latency_only) {
    // Ends when the parent has read the latencies and closed its end.
    ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
    CloseHandle(pipe);
    return 0;
  }
  // Rates: read `count` messages, then acknowledge.
  auto drain = [&](int count) {
    for (int i = 0; i < count; ++i) {
      if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
    }
    const char ack = 'A';
    return WriteAll(pipe, &ack, 1);
  };
  for (int c : kScriptCounts) {
    if (!drain(c)) return 3;
  }
  if (!drain(kInputCount)) return 4;
  CloseHandle(pipe);
  return 0;
}

namespace {

double TimedRawSends(FakeClient& client, std::size_t size, int count) {
  const std::vector<std::uint8_t> message(size, 'x');
  const long long start = NowMicros();
  if (!PipelinedWrites(client.handle(), count,
                       [&](int, std::vector<std::uint8_t>& out) {
                         if (out != message) out = message;
                       },
                       size)) {
    return 0;
  }
  Report ack;
  if (!client.Read(&ack, 60000)) return 0;
  const long long elapsed = NowMicros() - start;
  return elapsed > 0 ? count * 1e6 / static_cast<double>(elapsed) : 0;
}

}  // namespace

namespace {

bool Measure(RawFigures* f, bool latency_only, DWORD spacing_ms) {
  FakeClient client(1 << 20);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string command_line = std::string("\"") + self + (latency_only ? "\" --raw-peer-latency " : "\" --raw-peer ") +
                                   client.pipe_name() + " " + std::to_string(spacing_ms);
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
  std::vector<long long> from_peer;
  for (int i = 0; ok && i < kLatencySamples; ++i) {
    ok = client.Read(&r, 10000);
    if (!ok) break;
    long long stamp = 0;
    std::memcpy(&stamp, r.raw.data(), sizeof stamp);
    from_peer.push_back(NowMicros() - stamp);
  }
  for (int i = 0; ok && i < kLatencySamples; ++i) {
    ok = client.SendRaw(Stamped(kLatencyMessage, NowMicros()));
    Sleep(spacing_ms);
  }
  std::vector<long long> to_peer;
  if (ok && client.Read(&r, 10000)) {
    to_peer.resize(r.raw.size() / sizeof(long long));
    std::memcpy(to_peer.data(), r.raw.data(), to_peer.size() * sizeof(long long));
  }
  f->to_peer = Of(to_peer);
  f->from_peer = Of(from_peer);
  f->to_peer_samples = to_peer;
  f->from_peer_samples = from_peer;
  if (latency_only) {
    client.Close();
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    return ok && !to_peer.empty() && !from_peer.empty();
  }
  for (int s = 0; ok && s < 3; ++s) f->rate[s] = TimedRawSends(client, 12 + 16 + kScriptSizes[s], kScriptCounts[s]);
  if (ok) f->input_rate = TimedRawSends(client, kInputFrame, kInputCount);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hProcess);
  return ok && !to_peer.empty() && !from_peer.empty();
}

}  // namespace

bool MeasureRawPipe(RawFigures* f) { return Measure(f, false, kSpacingMs); }

void Pool(std::vector<long long>* pooled, const std::vector<long long>& round) {
  pooled->insert(pooled->end(), round.begin(), round.end());
}

void PoolLatency(RawFigures* pooled, const RawFigures& round) {
  Pool(&pooled->to_peer_samples, round.to_peer_samples);
  Pool(&pooled->from_peer_samples, round.from_peer_samples);
  pooled->to_peer = Of(pooled->to_peer_samples);
  pooled->from_peer = Of(pooled->from_peer_samples);
}
bool MeasureRawLatency(RawFigures* f, DWORD spacing_ms) { return Measure(f, true, spacing_ms); }

}  // namespace nimo_bench
