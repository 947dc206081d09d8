#include "bench/raw_stream.h"

#include <cstring>
#include <string>

#include "tests/support/fake_client.h"

namespace nimo_bench {

using nimo::test::FakeClient;
using nimo::test::Report;

namespace {

constexpr std::size_t kMessage = 12 + 24;  // a FrameReady frame

}  // namespace

int RunRawStreamPeer(const char* name, DWORD spacing_ms, int count) {
  const HANDLE pipe = ConnectPeerPipe(name);
  if (pipe == INVALID_HANDLE_VALUE) return 1;
  for (int i = 0; i < count; ++i) {
    const std::vector<std::uint8_t> m = Stamped(kMessage, NowMicros());
    if (!WriteAll(pipe, m.data(), static_cast<DWORD>(m.size()))) return 2;
    Sleep(spacing_ms);
  }
  // Ends when the reader has closed its end.
  std::uint8_t byte = 0;
  DWORD got = 0;
  ReadFile(pipe, &byte, 1, &got, nullptr);
  CloseHandle(pipe);
  return 0;
}

struct ConcurrentRawPipe::State {
  FakeClient client{1 << 16};
  PROCESS_INFORMATION peer = {};
  std::thread reader;
  std::vector<long long> latencies;
};

ConcurrentRawPipe::ConcurrentRawPipe() : state_(new State()) {}

ConcurrentRawPipe::~ConcurrentRawPipe() { Finish(); }

bool ConcurrentRawPipe::Start(DWORD spacing_ms, int count) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string command_line = std::string("\"") + self + "\" --raw-peer-stream " + state_->client.pipe_name() +
                                   " " + std::to_string(spacing_ms) + " " + std::to_string(count);
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  if (!CreateProcessA(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &state_->peer)) {
    state_->peer = {};
    return false;
  }
  CloseHandle(state_->peer.hThread);
  State* s = state_.get();
  s->latencies.reserve(count);
  s->reader = std::thread([s, count] {
    if (!s->client.WaitConnected(10000)) return;
    Report r;
    for (int i = 0; i < count && s->client.Read(&r, 10000); ++i) {
      long long stamp = 0;
      if (r.raw.size() >= sizeof stamp) std::memcpy(&stamp, r.raw.data(), sizeof stamp);
      s->latencies.push_back(NowMicros() - stamp);
    }
  });
  return true;
}

std::vector<long long> ConcurrentRawPipe::Finish() {
  if (state_->reader.joinable()) state_->reader.join();
  if (state_->peer.hProcess) {
    state_->client.Close();
    WaitForSingleObject(state_->peer.hProcess, 10000);
    CloseHandle(state_->peer.hProcess);
    state_->peer = {};
  }
  return state_->latencies;
}

}  // namespace nimo_bench
