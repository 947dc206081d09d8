// One client link in this process, against a real message pipe and a scripted engine post
// function: refusal before connecting, Hello, the reader's validation and dispatch, the
// bounded queue with FrameReady coalescing while the client does not read, and the end
// of the link. A process connects once (there is no reconnection), so the session's
// tests run in order on one connection.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/engine_api.h"
#include "diag/perf_stats.h"
#include "link/pipe_link.h"
#include "link/send.h"
#include "link/ui_task.h"
#include "protocol/wire.h"
#include "surfaces/commands.h"
#include "surfaces/surface.h"
#include "tests/support/fake_cef.h"
#include "tests/support/fake_client.h"

namespace nimo {
namespace {

using test::FakeClient;
using test::Report;

// Tasks the link posted, in order, kept as the engine keeps them until the test runs them
// on its own thread (latency probes are counted and released at once).
struct Seen {
  std::string name;
  cef_task_t* task;
};
std::mutex seen_mutex;
std::vector<Seen> seen;
int pings_posted = 0;

int RecordPost(cef_thread_id_t, cef_task_t* task) {
  const std::string name = UiTaskName(task);
  std::lock_guard<std::mutex> lock(seen_mutex);
  if (name == "latency probe") {
    ++pings_posted;
    task->base.release(&task->base);
  } else {
    seen.push_back({name, task});
  }
  return 1;
}

std::vector<Seen> WaitForTasks(size_t count, DWORD timeout_ms = 5000) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(seen_mutex);
      if (seen.size() >= count || GetTickCount64() > deadline) return seen;
    }
    Sleep(2);
  }
}

std::vector<std::string> NamesOf(const std::vector<Seen>& tasks) {
  std::vector<std::string> names;
  for (const Seen& t : tasks) names.push_back(t.name);
  return names;
}

// Gives the engine's reference of every task seen so far back, as an engine that ran them.
void DropSeen() {
  std::lock_guard<std::mutex> lock(seen_mutex);
  for (const Seen& t : seen) t.task->base.release(&t.task->base);
  seen.clear();
}

// Browsers asked for by a CreateSurface task: size and URL.
std::vector<std::string> creates;
int RecordCreate(const cef_window_info_t* window_info, cef_client_t*, const cef_string_t* url,
                 const cef_browser_settings_t*, cef_dictionary_value_t*, cef_request_context_t*) {
  creates.push_back(std::to_string(window_info->bounds.width) + "x" +
                    std::to_string(window_info->bounds.height) + " " + test::Utf8Of(url));
  return 0;
}

std::vector<std::uint8_t> Frame(std::uint16_t type, std::size_t payload_bytes, std::uint8_t fill = 0) {
  std::vector<std::uint8_t> frame(kFrameHeaderSize + payload_bytes, fill);
  WriteFrameHeader(frame.data(), type, static_cast<std::uint32_t>(payload_bytes));
  return frame;
}

std::vector<std::uint8_t> FrameReady(std::uint32_t surface, std::uint64_t handle, std::uint32_t width = 64) {
  std::vector<std::uint8_t> payload(kFrameReadyPayloadSize);
  EncodeFrameReady(FrameReadyPayload{surface, width, 32, 1, handle}, payload.data());
  return payload;
}

bool SendFrameReady(std::uint32_t surface, std::uint64_t handle, std::uint32_t width = 64) {
  const std::vector<std::uint8_t> p = FrameReady(surface, handle, width);
  return SendFrame(kMsgFrameReady, p.data(), static_cast<std::uint32_t>(p.size()));
}

// Surfaces 1 to 3 get fake browsers whose hosts record the calls the tasks make.
std::vector<std::unique_ptr<test::FakeBrowser>> browsers;
void GiveSurfacesBrowsers() {
  test::InstallFakeEngineStrings();
  engine_api.cef_browser_host_create_browser = RecordCreate;
  for (std::uint32_t id = 1; id <= 3; ++id) {
    browsers.emplace_back(test::NewBrowser());
    surfaces[id].browser = ShareRef(&browsers.back()->cef);
  }
}
std::vector<std::string> HostCalls(std::uint32_t id) { return browsers[id - 1]->host.calls; }
std::vector<std::string> BrowserCalls(std::uint32_t id) { return browsers[id - 1]->calls; }

TEST(LinkBeforeConnect, EverySendIsRefusedAndNothingCounted) {
  InitPerfStats();
  const PerfCounters before = ReadPerfCounters();
  EXPECT_FALSE(SendFrame(kMsgConsoleLine, "abc", 3));
  EXPECT_FALSE(SendText(kMsgConsoleLine, 1, "hello"));
  for (int i = 0; i < 70; ++i) EXPECT_FALSE(SendFrameReady(0, 7));
  const PerfCounters after = ReadPerfCounters();
  EXPECT_EQ(after.dropped, before.dropped);
  EXPECT_EQ(after.coalesced, before.coalesced);
  EXPECT_EQ(after.writes, before.writes);
  EXPECT_EQ(link_stopped.load(), 0);
}

TEST(LinkBeforeConnect, AnUnopenableNameIsNoLink) {
  // A directory cannot be opened as a pipe: access denied, which (unlike "not found" or
  // "busy") is not worth waiting for.
  char directory[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, directory), 0u);
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(ConnectPipe(directory, SurfaceCommandSink()));
  EXPECT_FALSE(SendText(kMsgConsoleLine, 0, "still refused"));
  std::printf("failed open of a directory took %llu ms\n",
              static_cast<unsigned long long>(GetTickCount64() - start));
}

class LinkSession : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    engine_api.cef_post_task = RecordPost;
    engine_api.cef_post_delayed_task = nullptr;
    // A small pipe buffer, so a client that stops reading stalls the writer quickly.
    client = new FakeClient(4096);
    session_start = GetTickCount64();
  }
  static FakeClient* client;
  static ULONGLONG session_start;
};
FakeClient* LinkSession::client = nullptr;
ULONGLONG LinkSession::session_start = 0;

TEST_F(LinkSession, ConnectsAndSaysHelloFirst) {
  ASSERT_TRUE(ConnectPipe(client->pipe_name().c_str(), SurfaceCommandSink()));
  ASSERT_TRUE(client->WaitConnected(5000));
  Report hello;
  ASSERT_TRUE(client->Read(&hello, 5000));
  const DWORD pid = GetCurrentProcessId();
  const std::vector<std::uint8_t> expected = {
      0x4F, 0x4D, 0x49, 0x4E, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x02, 0x00,
      0x00, 0x00, static_cast<std::uint8_t>(pid), static_cast<std::uint8_t>(pid >> 8),
      static_cast<std::uint8_t>(pid >> 16), static_cast<std::uint8_t>(pid >> 24)};
  EXPECT_EQ(hello.raw, expected);
}

TEST_F(LinkSession, ReaderPostsEachCommandWithItsOwnCopies) {
  const PerfCounters before = ReadPerfCounters();
  const std::string long_url(10000, 'x');
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgResizeSurface, 1, 800, 600, 0));
  ASSERT_TRUE(client->SendInput(2, 0x201, 1, 0xFFFF0010, 0x10));
  // 31 bytes of input: too short, dropped, the link stays up.
  std::vector<std::uint8_t> short_input = Frame(kMsgInputEvent, 31, 0x11);
  ASSERT_TRUE(client->SendRaw(short_input));
  // 40 bytes: the first 32 are the record.
  std::vector<std::uint8_t> long_input = Frame(kMsgInputEventAlt, 40, 0);
  EncodeInputRecord(InputRecord{3, 0x100, 0x41, 0x1E0001, 2, 0}, long_input.data() + 12);
  ASSERT_TRUE(client->SendRaw(long_input));
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgCreateSurface, 1, 0, 0, 0));
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgCreateSurface, 2, 320, 200, 0, long_url));
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgSetFocus, 1, 0, 0, 1));
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgSetHidden, 1, 0, 0, 1));
  // The 12-byte header alone of a resize, and types outside the catalogue: ignored.
  ASSERT_TRUE(client->SendRaw(Frame(kMsgResizeSurface, 0)));
  ASSERT_TRUE(client->SendRaw(Frame(kMsgSetFocus, 15)));
  ASSERT_TRUE(client->SendRaw(Frame(99, 16)));
  ASSERT_TRUE(client->SendRaw(Frame(110, 16)));
  ASSERT_TRUE(client->SendRaw(Frame(0, 0)));
  // Navigate and ExecuteScript run on the reader; surfaces without a browser ignore them.
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgNavigate, 1, 0, 0, 0, "about:blank"));
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgExecuteScript, 1, 0, 0, 0, std::string(2048, ';')));
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgExecuteScript, 7, 0, 0, 0, "x"));
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgReload, 3, 0, 0, 1));

  const std::vector<Seen> tasks = WaitForTasks(8);
  ASSERT_EQ(tasks.size(), 8u);
  EXPECT_EQ(NamesOf(tasks), (std::vector<std::string>{"resize", "input", "input", "create surface",
                                                      "create surface", "focus", "visibility", "reload"}));
  // Run now, after the reader has reused its buffer many times: each task carries its own
  // copies of the command's fields and text.
  GiveSurfacesBrowsers();
  auto run = [&tasks](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) tasks[i].task->execute(tasks[i].task);
  };
  run(0, 3);  // resize 1, input 2, input 3
  surfaces[1].browser = nullptr;
  surfaces[2].browser = nullptr;
  run(3, 5);  // create 1 (at its last size, for it gave none), create 2
  surfaces[1].browser = ShareRef(&browsers[0]->cef);
  run(5, 8);  // focus 1, visibility 1, reload 3
  DropSeen();
  EXPECT_EQ(surfaces[1].view_width, 800u);
  EXPECT_EQ(surfaces[1].view_height, 600u);
  EXPECT_EQ(creates, (std::vector<std::string>{"800x600 about:blank", "320x200 " + long_url}));
  const std::vector<std::string> host1 = HostCalls(1);
  ASSERT_EQ(host1.size(), 3u);
  EXPECT_EQ(host1[0], "was_resized");
  EXPECT_EQ(host1[1], "set_focus 1");
  EXPECT_EQ(host1[2], "was_hidden 1");
  const std::vector<std::string> host2 = HostCalls(2);
  ASSERT_EQ(host2.size(), 1u);
  EXPECT_EQ(host2[0].rfind("click x=16 y=-1 mods=16 button=0 up=0 ", 0), 0u) << host2[0];
  const std::vector<std::string> host3 = HostCalls(3);
  ASSERT_EQ(host3.size(), 1u);
  EXPECT_EQ(host3[0].rfind("key type=0 mods=2 wkc=65 ", 0), 0u) << host3[0];
  EXPECT_EQ(BrowserCalls(3), std::vector<std::string>{"reload_ignore_cache"});
  for (Surface& surface : surfaces) surface.browser = nullptr;

  const PerfCounters after = ReadPerfCounters();
  EXPECT_EQ(after.input_events - before.input_events, 2);
  EXPECT_EQ(after.script_messages - before.script_messages, 2) << "counted before the surface is looked at";
  EXPECT_EQ(after.script_bytes - before.script_bytes, 2049);
  EXPECT_EQ(link_stopped.load(), 0);
}

TEST_F(LinkSession, StalledClientCostsFramesNeverTheSender) {
  // One large frame the 4 KiB pipe cannot take: the writer blocks inside its write.
  const std::string big(512 * 1024, 'B');
  ASSERT_TRUE(SendText(kMsgConsoleLine, 0, big));
  DWORD available = 0;
  for (int i = 0; i < 2000 && available == 0; ++i) {
    Sleep(1);
    PeekNamedPipe(client->handle(), nullptr, 0, nullptr, &available, nullptr);
  }
  ASSERT_GT(available, 0u) << "the writer never started its write";

  const PerfCounters before = ReadPerfCounters();
  EXPECT_TRUE(SendFrameReady(0, 0xA0, 1));        // queued
  EXPECT_TRUE(SendText(kMsgLoadEvent, 0, "L1"));  // stays in place
  EXPECT_TRUE(SendFrameReady(1, 0xB0, 1));
  EXPECT_TRUE(SendFrameReady(0, 0xA0, 2));  // a newer frame of the same texture: replaces, joins at the end
  int accepted = 0;
  while (accepted < 200 && SendText(kMsgConsoleLine, 0, std::to_string(accepted))) ++accepted;
  EXPECT_EQ(accepted, 61) << "the queue holds 64 frames";
  EXPECT_FALSE(SendText(kMsgConsoleLine, 0, "more"));
  // The client can close a texture handle only once it has been told of it.
  EXPECT_TRUE(SendFrameReady(2, 0xC0)) << "the first frame of a new handle passes the bound";
  EXPECT_TRUE(SendFrameReady(1, 0xB0, 2)) << "one that replaces a waiting one is queued";
  const PerfCounters after = ReadPerfCounters();
  EXPECT_EQ(after.coalesced - before.coalesced, 2);
  EXPECT_EQ(after.dropped - before.dropped, 2);
  // A payload of exactly the limit is accepted by the queue rules; one byte more never is.
  std::vector<std::uint8_t> too_big(kMaxPayloadSize + 1);
  EXPECT_FALSE(SendFrame(kMsgConsoleLine, too_big.data(), kMaxPayloadSize + 1));
  EXPECT_EQ(ReadPerfCounters().dropped, after.dropped) << "an oversized frame is refused, not dropped";

  // Now read: the stalled frame, then the queue in order.
  Report r;
  ASSERT_TRUE(client->Read(&r, 5000));
  EXPECT_EQ(r.type, kMsgConsoleLine);
  EXPECT_EQ(r.text().size(), big.size());
  ASSERT_TRUE(client->Read(&r, 5000));
  EXPECT_EQ(r.type, kMsgLoadEvent);
  EXPECT_EQ(r.text(), "L1");
  ASSERT_TRUE(client->Read(&r, 5000));
  EXPECT_EQ(r.type, kMsgFrameReady);
  EXPECT_EQ(DecodeFrameReady(r.payload.data()).client_handle, 0xA0u);
  EXPECT_EQ(DecodeFrameReady(r.payload.data()).width, 2u);
  for (int i = 0; i < accepted; ++i) {
    ASSERT_TRUE(client->Read(&r, 5000));
    ASSERT_EQ(r.type, kMsgConsoleLine);
    EXPECT_EQ(r.text(), std::to_string(i));
  }
  ASSERT_TRUE(client->Read(&r, 5000));
  EXPECT_EQ(r.type, kMsgFrameReady);
  EXPECT_EQ(DecodeFrameReady(r.payload.data()).client_handle, 0xC0u);
  ASSERT_TRUE(client->Read(&r, 5000));
  EXPECT_EQ(r.type, kMsgFrameReady);
  const FrameReadyPayload last = DecodeFrameReady(r.payload.data());
  EXPECT_EQ(last.surface_id, 1u);
  EXPECT_EQ(last.client_handle, 0xB0u);
  EXPECT_EQ(last.width, 2u);
  EXPECT_FALSE(client->Read(&r, 100)) << "nothing but the accepted frames arrives";
}

TEST_F(LinkSession, LargestPayloadCrossesWhole) {
  std::vector<std::uint8_t> payload(kMaxPayloadSize);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(SendFrame(kMsgConsoleLine, payload.data(), kMaxPayloadSize));
  Report r;
  ASSERT_TRUE(client->Read(&r, 5000));
  EXPECT_EQ(r.payload, payload);
}

TEST_F(LinkSession, ShutdownEndsTheLinkAndNothingAfterItIsRead) {
  DropSeen();
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgResizeSurface, 1, 10, 10, 0));
  // The exact 12-byte Shutdown frame, then commands that must never be read.
  const std::vector<std::uint8_t> shutdown = {0x4F, 0x4D, 0x49, 0x4E, 0x6D, 0x00,
                                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  ASSERT_TRUE(client->SendRaw(shutdown));
  ASSERT_TRUE(client->SendSurfaceCommand(kMsgResizeSurface, 2, 20, 20, 0));
  const std::vector<Seen> tasks = WaitForTasks(2);
  Sleep(100);  // room for a wrongly read third command to show up
  std::vector<Seen> final_tasks = WaitForTasks(3, 0);
  EXPECT_EQ(NamesOf(final_tasks), (std::vector<std::string>{"resize", "close all and quit"}));
  DropSeen();  // not run: nothing quits here
  EXPECT_EQ(link_stopped.load(), 1);
  // The writer drains and ends; sends are still accepted into the queue, never written.
  EXPECT_TRUE(SendText(kMsgConsoleLine, 0, "after the end"));
  Report r;
  EXPECT_FALSE(client->Read(&r, 200));
}

TEST_F(LinkSession, LatencyProbeIsRateLimited) {
  // Every drain may post a probe, but never more than one per 200 ms.
  const ULONGLONG elapsed_ms = GetTickCount64() - session_start;
  std::lock_guard<std::mutex> lock(seen_mutex);
  EXPECT_GE(pings_posted, 1);
  EXPECT_LE(static_cast<ULONGLONG>(pings_posted), 1 + elapsed_ms / 200);
  std::printf("latency probes posted over %llu ms: %d\n", elapsed_ms, pings_posted);
}

}  // namespace
}  // namespace nimo
