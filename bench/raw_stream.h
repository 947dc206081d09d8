// The raw pipe measured under the load of an engine session, at the same time: a copy of
// this program (`--raw-peer-stream <pipe> <spacing ms> <count>`) sends FrameReady-sized
// messages stamped with the shared clock, spaced like the frames they are compared with,
// while a thread of this process reads them beside the session's own client. Both sides
// then wait for the same cores, the same wine server and the same page work.
//
// Threads: Start and Finish on one thread (the benchmark's main thread); the reading runs
// on a thread of its own in between.
#pragma once
#include <memory>
#include <thread>
#include <vector>

#include "bench/bench_util.h"

namespace nimo_bench {

// The peer's side; returns its exit code.
int RunRawStreamPeer(const char* pipe_name, DWORD spacing_ms, int count);

class ConcurrentRawPipe {
 public:
  ConcurrentRawPipe();
  ~ConcurrentRawPipe();
  ConcurrentRawPipe(const ConcurrentRawPipe&) = delete;
  ConcurrentRawPipe& operator=(const ConcurrentRawPipe&) = delete;

  // Starts the peer: `count` messages `spacing_ms` apart. False when it cannot start.
  bool Start(DWORD spacing_ms, int count);
  // Waits for the peer's last message (or its end) and returns the one-way latencies of
  // the messages read, in microseconds.
  std::vector<long long> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace nimo_bench
