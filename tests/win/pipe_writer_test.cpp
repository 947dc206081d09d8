// The pipe writer's two ways of writing, against a real message pipe: a send on an idle
// link writes its frame itself, and frames sent while a write is under way queue behind it.
// Senders on several threads, with a client that keeps pausing, must see every accepted
// frame arrive once and in each sender's order; a link whose client went away takes frames
// only up to the queue's bound. One connection per process, so the cases run in order.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/engine_api.h"
#include "diag/perf_stats.h"
#include "link/pipe_link.h"
#include "link/portable/send_queue.h"
#include "link/send.h"
#include "protocol/wire.h"
#include "surfaces/commands.h"
#include "tests/support/fake_client.h"

namespace nimo {
namespace {

using test::FakeClient;
using test::Report;

int ReleaseTask(cef_thread_id_t, cef_task_t* task) {
  task->base.release(&task->base);
  return 1;
}

class PipeWriterSession : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    engine_api.cef_post_task = ReleaseTask;
    InitPerfStats();
    client = new FakeClient(4096);  // small: a pausing client soon leaves writes pending
  }
  static FakeClient* client;
};
FakeClient* PipeWriterSession::client = nullptr;

TEST_F(PipeWriterSession, AnIdleSendIsInThePipeWhenItReturns) {
  ASSERT_TRUE(ConnectPipe(client->pipe_name().c_str(), SurfaceCommandSink()));
  ASSERT_TRUE(client->WaitConnected(5000));
  Report r;
  ASSERT_TRUE(client->Read(&r, 5000));
  ASSERT_EQ(r.type, kMsgHello);
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(SendText(kMsgConsoleLine, 0, "idle " + std::to_string(i)));
    // No thread had to wake up for it: the bytes are there already.
    DWORD available = 0;
    ASSERT_TRUE(PeekNamedPipe(client->handle(), nullptr, 0, nullptr, &available, nullptr));
    EXPECT_GT(available, 0u) << "send " << i;
    ASSERT_TRUE(client->Read(&r, 5000));
    EXPECT_EQ(r.text(), "idle " + std::to_string(i));
  }
}

TEST_F(PipeWriterSession, SendersOnSeveralThreadsKeepTheirOrderAndLoseNothing) {
  constexpr int kThreads = 3, kPerThread = 400;
  const PerfCounters before = ReadPerfCounters();
  std::atomic<int> accepted{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([t, &accepted] {
      for (int i = 0; i < kPerThread; ++i) {
        // Bursts and pauses: sends find the link idle, mid-write and behind a queue.
        if (i % 25 == 24) Sleep(3);
        if (SendText(kMsgConsoleLine, static_cast<std::uint32_t>(t), std::to_string(i))) accepted.fetch_add(1);
      }
    });
  }
  // The client pauses now and then, so writes go pending and the writer completes them.
  std::map<std::uint32_t, int> last;
  int received = 0;
  Report r;
  while (client->Read(&r, 1000)) {
    ASSERT_EQ(r.type, kMsgConsoleLine);
    const std::uint32_t sender = DecodeSurfaceHead(r.payload.data()).surface_id;
    const int n = std::stoi(r.text());
    EXPECT_GT(n, last.count(sender) ? last[sender] : -1) << "sender " << sender << " out of order";
    last[sender] = n;
    if (++received % 50 == 0) Sleep(5);
  }
  for (std::thread& s : senders) s.join();
  const PerfCounters after = ReadPerfCounters();
  EXPECT_EQ(received, accepted.load()) << "every accepted frame arrives once";
  EXPECT_EQ(kThreads * kPerThread - accepted.load(), after.dropped - before.dropped) << "every refusal is a drop";
  EXPECT_EQ(link_stopped.load(), 0);
}

TEST_F(PipeWriterSession, AfterTheClientLeftFramesAreTakenOnlyUpToTheBound) {
  client->Close();
  int accepted = 0;
  const ULONGLONG start = GetTickCount64();
  for (int i = 0; i < 200; ++i) {
    if (SendText(kMsgConsoleLine, 0, "gone " + std::to_string(i))) ++accepted;
  }
  // The one frame whose write found the pipe gone, if any, then a full queue never written.
  EXPECT_GE(accepted, static_cast<int>(kSendQueueCapacity));
  EXPECT_LE(accepted, static_cast<int>(kSendQueueCapacity) + 1);
  EXPECT_LT(GetTickCount64() - start, 2000u) << "no send waited for the pipe";
}

}  // namespace
}  // namespace nimo
