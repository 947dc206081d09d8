// Frames through the real executable: the stand-in engine paints scripted frames on both
// paths, the product copies them into each surface's shared texture, and this process, as
// the client, opens every announced handle and checks the pixels.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "protocol/pointer_messages.h"
#include "protocol/wire.h"
#include "tests/support/fake_client.h"
#include "tests/support/gpu_client_session.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"
#include "tests/support/shared_texture_reader.h"

namespace {

using nimo::FrameReadyPayload;
using nimo::test::FakeClient;
using nimo::test::GpuClientSession;
using nimo::test::Report;
using nimo_test::Journal;
using nimo_test::ScenarioWriter;

// Reads reports for `ms`, keeping the newest FrameReady of each surface.
std::map<std::uint32_t, FrameReadyPayload> Drain(FakeClient& client, DWORD ms,
                                                 std::vector<FrameReadyPayload>* all = nullptr) {
  std::map<std::uint32_t, FrameReadyPayload> newest;
  const DWORD start = GetTickCount();
  Report r;
  while (GetTickCount() - start < ms) {
    if (!client.Read(&r, 50)) continue;
    if (r.type != nimo::kMsgFrameReady || r.payload.size() != nimo::kFrameReadyPayloadSize) continue;
    const FrameReadyPayload p = nimo::DecodeFrameReady(r.payload.data());
    newest[p.surface_id] = p;
    if (all) all->push_back(p);
  }
  return newest;
}

// Waits until the journal shows `count` paints of `width` x `height`.
bool WaitForPaints(const GpuClientSession& s, int width, int height, std::size_t count, DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    std::size_t n = 0;
    for (const auto& e : s.journal().Events("paint.deliver"))
      if (e.Int("width") == width && e.Int("height") == height && e.Get("type") == "0") ++n;
    if (n >= count) return true;
    Sleep(50);
  } while (GetTickCount() - start < ms);
  return false;
}

bool Inside(std::uint32_t x, std::uint32_t y, int l, int t, int w, int h) {
  return static_cast<int>(x) >= l && static_cast<int>(x) < l + w && static_cast<int>(y) >= t &&
         static_cast<int>(y) < t + h;
}

const char kBlue[] = "0xFF2040F0";
const char kGreen[] = "0xFF00FF00";

TEST(Frames, BothPathsArrivePixelTrueThroughTheClientHandles) {
  ScenarioWriter scenario;
  // Surface 3, accelerated: a whole gradient frame, then frames whose announced dirty
  // rectangles are all that may change: one inside, two partly outside, one outside.
  scenario.Page("about:blank#gpu",
                {"load_start", "load_end", "wait 600", "paint pattern=gradient dirty=\"0,0,320,200\"", "wait 300",
                 std::string("paint pattern=solid color=") + kBlue + " dirty=\"10,20,30,40\"", "wait 300",
                 // A popup paint while the page shows no popup is not drawn.
                 "paint type=popup pattern=solid color=0xFFFF0000 width=320 height=200", "wait 200",
                 std::string("paint pattern=solid color=") + kGreen +
                     " dirty=\"-5,-5,10,10;315,195,20,20;400,400,5,5\""});
  // Surface 2 paints on the CPU path; one dirty pixel is announced, the whole buffer counts.
  scenario.Page("https://frames.test/cpu",
                {"load_start", "load_end", "wait 2500", "paint pattern=checker color=0xFF3366CC dirty=\"0,0,1,1\""});
  GpuClientSession s;
  ASSERT_TRUE(s.Start(scenario)) << "the engine never connected to the client:\n" << s.log();
  ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 3, 320, 200, 0, "about:blank#gpu"));
  ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 2, 160, 90, 0, "https://frames.test/cpu"));

  ASSERT_TRUE(WaitForPaints(s, 160, 90, 2, 15000)) << "the CPU page never painted its checker frame";
  ASSERT_TRUE(WaitForPaints(s, 320, 200, 3, 15000));
  std::vector<FrameReadyPayload> all;
  std::map<std::uint32_t, FrameReadyPayload> newest = Drain(s.client(), 700, &all);
  ASSERT_EQ(1u, newest.count(3));
  ASSERT_EQ(1u, newest.count(2));

  // Every announced handle opens in this process.
  for (const FrameReadyPayload& p : all) {
    EXPECT_NE(0u, p.client_handle);
    const nimo_test::SharedFrame f = nimo_test::ReadSharedTexture(p.client_handle);
    EXPECT_TRUE(f.opened) << "surface " << p.surface_id << " handle " << p.client_handle;
    EXPECT_EQ(p.width, f.width);
    EXPECT_EQ(p.height, f.height);
  }

  const FrameReadyPayload gpu = newest[3];
  EXPECT_EQ(320u, gpu.width);
  EXPECT_EQ(200u, gpu.height);
  EXPECT_EQ(1u, gpu.format);  // the engine's colour type of its BGRA texture, passed on
  const nimo_test::SharedFrame g = nimo_test::ReadSharedTexture(gpu.client_handle);
  ASSERT_TRUE(g.opened);
  ASSERT_EQ(320u * 200u, g.pixels.size());
  const std::uint32_t red = g.at(100, 100) & 0x00FF0000u;  // the gradient frame's number
  int wrong = 0;
  for (std::uint32_t y = 0; y < 200; ++y)
    for (std::uint32_t x = 0; x < 320; ++x) {
      std::uint32_t expect = 0xFF000000u | red | (y & 255u) << 8 | (x & 255u);
      if (Inside(x, y, 10, 20, 30, 40)) expect = 0xFF2040F0u;
      if (Inside(x, y, 0, 0, 5, 5) || Inside(x, y, 315, 195, 5, 5)) expect = 0xFF00FF00u;
      if (g.at(x, y) != expect && ++wrong <= 5)
        ADD_FAILURE() << "gpu surface pixel " << x << "," << y << " is " << std::hex << g.at(x, y) << " not " << expect;
    }
  EXPECT_EQ(0, wrong);

  const FrameReadyPayload cpu = newest[2];
  EXPECT_EQ(0u, cpu.format);
  const nimo_test::SharedFrame c = nimo_test::ReadSharedTexture(cpu.client_handle);
  ASSERT_TRUE(c.opened);
  ASSERT_EQ(160u * 90u, c.pixels.size());
  wrong = 0;
  for (std::uint32_t y = 0; y < 90; ++y)
    for (std::uint32_t x = 0; x < 160; ++x) {
      const std::uint32_t expect = ((x / 8 + y / 8) & 1) ? 0xFF3366CCu : (~0xFF3366CCu | 0xFF000000u);
      if (c.at(x, y) != expect && ++wrong <= 5)
        ADD_FAILURE() << "cpu surface pixel " << x << "," << y << " is " << std::hex << c.at(x, y);
    }
  EXPECT_EQ(0, wrong);

  // A new size: a new texture with a new handle, announced with the new size.
  ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgResizeSurface, 3, 200, 120, 0));
  ASSERT_TRUE(WaitForPaints(s, 200, 120, 1, 10000)) << "no paint at the new size";
  newest = Drain(s.client(), 500);
  ASSERT_EQ(1u, newest.count(3));
  EXPECT_EQ(200u, newest[3].width);
  EXPECT_EQ(120u, newest[3].height);
  EXPECT_NE(gpu.client_handle, newest[3].client_handle);
  EXPECT_TRUE(nimo_test::ReadSharedTexture(newest[3].client_handle).opened);

  EXPECT_EQ(0, s.Stop());
  const Journal j = s.journal();
  long long leaks = -1, overreleases = -1;
  ASSERT_TRUE(j.References(0, &leaks, &overreleases));
  EXPECT_EQ(0, leaks) << j.DescribeLeaks();
  EXPECT_EQ(0, overreleases);
  // The shutdown line counts the paints of every surface on both paths.
  std::size_t view_paints = 0;
  for (const auto& e : j.Events("paint.deliver"))
    if (e.Get("type") == "0" && e.Get("present") == "1") ++view_paints;
  EXPECT_NE(std::string::npos, s.log().find("[nimo-webengine][browser] shut down. paints=" +
                                            std::to_string(view_paints) + "\n"))
      << s.log();

  // What the benchmarks count from: every call of a paint callback is journaled after it
  // returned, with the stamp taken right before it and the stand-in GPU's time and bytes
  // inside it, which must fit between the two lines.
  std::map<long long, const nimo_test::JournalEntry*> announced;  // by browser
  std::map<std::string, long long> copied;                         // by path and dirty rectangles
  std::size_t calls = 0, timed = 0;
  long long gpu_us = 0;
  for (const nimo_test::JournalEntry& e : j.entries()) {
    if (e.event == "paint.deliver") {
      announced[e.Int("browser")] = &e;
      if (e.Get("present") == "1") ++calls;
    }
    if (e.event != "paint.delivered") continue;
    ++timed;
    const auto it = announced.find(e.Int("browser"));
    ASSERT_NE(announced.end(), it) << "no paint.deliver before " << e.line;
    const nimo_test::JournalEntry& d = *it->second;
    announced.erase(it);
    EXPECT_EQ(d.Get("path"), e.Get("path")) << e.line;
    EXPECT_LE(d.micros, e.Int("call_us")) << d.line << "\n" << e.line;
    EXPECT_GE(e.Int("gpu_us", -1), 0) << e.line;
    EXPECT_LE(e.Int("call_us") + e.Int("gpu_us"), e.micros) << e.line;
    gpu_us += e.Int("gpu_us");
    if (d.Get("type") == "0") copied[d.Get("path") + " " + d.Get("dirty")] = e.Int("copied", -1);
  }
  EXPECT_EQ(calls, timed);
  EXPECT_GT(gpu_us, 0) << "the stand-in GPU's time inside the product's calls was not counted";
  // A CPU paint uploads its whole buffer; an accelerated one copies its dirty rectangle.
  EXPECT_EQ(160 * 90 * 4, copied["cpu 0,0,1,1"]);
  EXPECT_EQ(30 * 40 * 4, copied["gpu 10,20,30,40"]);
}

// The popup test's page, stepped by the client: each step ends with a console line
// "popup:<name>", sent after every paint of the step has been copied.
std::vector<std::string> PopupPage() {
  return {"load_start", "load_end",
          // 1: a gradient view, then a 100x60 list opens at (40,30).
          "await script=popup-step", "paint pattern=gradient", "popup_show",
          "popup_size x=40 y=30 width=100 height=60", "paint type=popup color=0xFF00FF00",
          "console message=popup:shown",
          // 2: the page repaints a region under the open list.
          "await script=popup-step", std::string("paint pattern=solid color=") + kBlue + " dirty=\"30,20,50,50\"",
          "console message=popup:repainted",
          // 3: the list closes; the engine repaints only when asked (by then it has been).
          "await script=popup-step", "popup_show show=0", "wait 50", "console message=popup:closed",
          // 4: a list announced past the bottom-right corner.
          "await script=popup-step", "popup_show", "popup_size x=260 y=170 width=100 height=60",
          "paint type=popup color=0xFFFF0000", "console message=popup:overflowed"};
}

// What the surface shows after `step` (320x200; 200x120 after step 5, the client's resize
// with the list still open); `red` is the gradient frame's number.
std::uint32_t PopupExpected(int step, bool accelerated, std::uint32_t red, std::uint32_t x, std::uint32_t y) {
  const std::uint32_t gradient = 0xFF000000u | red | (y & 255u) << 8 | (x & 255u);
  switch (step) {
    case 1:
      return Inside(x, y, 40, 30, 100, 60) ? 0xFF00FF00u : gradient;
    case 2:
      if (Inside(x, y, 40, 30, 100, 60)) return 0xFF00FF00u;
      // A CPU paint uploads its whole frame; an accelerated one copies its dirty rectangle.
      return !accelerated || Inside(x, y, 30, 20, 50, 50) ? 0xFF2040F0u : gradient;
    case 3:
      return 0xFF2040F0u;
    case 4:
      return Inside(x, y, 220, 140, 100, 60) ? 0xFFFF0000u : 0xFF2040F0u;
    default:
      return Inside(x, y, 100, 60, 100, 60) ? 0xFFFF0000u : 0xFF2040F0u;
  }
}

TEST(Frames, PopupListsAreDrawnOverTheViewOnBothPathsAndLeaveNoTraceWhenClosed) {
  ScenarioWriter scenario;
  scenario.Page("about:blank#popup-gpu", PopupPage());
  scenario.Page("https://popup.test/cpu", PopupPage());
  GpuClientSession s;
  ASSERT_TRUE(s.Start(scenario)) << "the engine never connected to the client:\n" << s.log();
  // Surface 3 paints on the accelerated path, surface 2 on the CPU path.
  ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 3, 320, 200, 0, "about:blank#popup-gpu"));
  ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 2, 320, 200, 0, "https://popup.test/cpu"));

  std::map<std::uint32_t, FrameReadyPayload> newest;
  // Reads reports until `surface` sends the console line `line`, or with no line a frame
  // `width` wide; counts the surface's frames meanwhile.
  auto read_until = [&](std::uint32_t surface, const std::string& line, std::uint32_t width, int* frames) {
    const DWORD start = GetTickCount();
    Report r;
    while (GetTickCount() - start < 15000) {
      if (!s.client().Read(&r, 100)) continue;
      if (r.type == nimo::kMsgFrameReady && r.payload.size() == nimo::kFrameReadyPayloadSize) {
        const FrameReadyPayload p = nimo::DecodeFrameReady(r.payload.data());
        newest[p.surface_id] = p;
        if (p.surface_id != surface) continue;
        ++*frames;
        if (line.empty() && p.width == width) return true;
      } else if (!line.empty() && r.type == nimo::kMsgConsoleLine && r.surface_id() == surface &&
                 r.text().find(line) != std::string::npos) {
        return true;
      }
    }
    return false;
  };
  ASSERT_TRUE(WaitForPaints(s, 320, 200, 2, 15000)) << "the pages never showed their first frames";
  Drain(s.client(), 300).swap(newest);

  const char* const lines[] = {"popup:shown", "popup:repainted", "popup:closed", "popup:overflowed"};
  for (const std::uint32_t surface : {3u, 2u}) {
    const bool accelerated = surface == 3;
    std::uint32_t red = 0;
    for (int step = 1; step <= 5; ++step) {
      std::uint32_t width = 320, height = 200;
      if (step < 5) {
        ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgExecuteScript, surface, 0, 0, 0, "popup-step()"));
        int frames = 0;
        ASSERT_TRUE(read_until(surface, lines[step - 1], 0, &frames)) << "surface " << surface << " step " << step;
        // Every step changed the picture, and the client was told so; the closed list's
        // frame comes only from the repaint the engine was asked for.
        EXPECT_GT(frames, 0) << "surface " << surface << " step " << step;
      } else {
        // The view shrinks under the open list: a new texture, the list moved inside it.
        width = 200;
        height = 120;
        ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgResizeSurface, surface, width, height, 0));
        int frames = 0;
        ASSERT_TRUE(read_until(surface, "", width, &frames)) << "surface " << surface << " never painted at its new size";
      }
      ASSERT_EQ(1u, newest.count(surface));
      const nimo_test::SharedFrame f = nimo_test::ReadSharedTexture(newest[surface].client_handle);
      ASSERT_TRUE(f.opened);
      ASSERT_EQ(width * height, f.pixels.size());
      if (step == 1) red = f.at(0, 0) & 0x00FF0000u;
      int wrong = 0;
      for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
          const std::uint32_t expect = PopupExpected(step, accelerated, red, x, y);
          if (f.at(x, y) != expect && ++wrong <= 5)
            ADD_FAILURE() << "surface " << surface << " step " << step << " pixel " << x << "," << y << " is "
                          << std::hex << f.at(x, y) << " not " << expect;
        }
      EXPECT_EQ(0, wrong) << "surface " << surface << " step " << step;
    }
  }

  EXPECT_EQ(0, s.Stop());
  const Journal j = s.journal();
  long long leaks = -1, overreleases = -1;
  ASSERT_TRUE(j.References(0, &leaks, &overreleases));
  EXPECT_EQ(0, leaks) << j.DescribeLeaks();
  EXPECT_EQ(0, overreleases);
  EXPECT_EQ(0u, j.Count("refs.use_after_release"));
}

// Protocol 3 at scale 1.25: a 1066 x 600 surface is an 853 x 480 page, which the engine
// paints 1067 x 600. On both paths the texture keeps the surface's size and shows the
// picture's first 1066 columns.
TEST(Frames, AtAFractionalScaleTheTextureKeepsTheSurfacesSize) {
  ScenarioWriter scenario;
  scenario.Page("about:blank#scaled", {"load_start", "load_end", "wait 300", "paint pattern=gradient"});
  scenario.Page("https://frames.test/scaled", {"load_start", "load_end", "wait 300", "paint pattern=gradient"});
  GpuClientSession s;
  ASSERT_TRUE(s.Start(scenario, {"", 3, {}})) << "the engine never connected to the client:\n" << s.log();
  // Surface 3 paints on the accelerated path, surface 2 on the CPU path.
  for (const auto& surface : {std::make_pair(3u, "about:blank#scaled"), std::make_pair(2u, "https://frames.test/scaled")}) {
    ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgSetScale, surface.first, 1250, 0, 0));
    ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, surface.first, 1066, 600, 0, surface.second));
  }
  ASSERT_TRUE(WaitForPaints(s, 1067, 600, 2, 15000)) << "the engine's picture is not the rounded-up page";
  std::map<std::uint32_t, FrameReadyPayload> newest = Drain(s.client(), 700);
  for (std::uint32_t surface : {3u, 2u}) {
    ASSERT_EQ(1u, newest.count(surface)) << surface;
    EXPECT_EQ(1066u, newest[surface].width) << surface;
    EXPECT_EQ(600u, newest[surface].height) << surface;
    const nimo_test::SharedFrame f = nimo_test::ReadSharedTexture(newest[surface].client_handle);
    ASSERT_TRUE(f.opened) << surface;
    ASSERT_EQ(1066u * 600u, f.pixels.size()) << surface;
    const std::uint32_t red = f.at(0, 0) & 0x00FF0000u;  // the frame's number
    int wrong = 0;
    for (std::uint32_t y = 0; y < 600; y += 7)
      for (std::uint32_t x : {0u, 500u, 1064u, 1065u}) {
        const std::uint32_t expect = 0xFF000000u | red | (y & 255u) << 8 | (x & 255u);
        if (f.at(x, y) != expect && ++wrong <= 5)
          ADD_FAILURE() << "surface " << surface << " pixel " << x << "," << y << " is " << std::hex << f.at(x, y);
      }
    EXPECT_EQ(0, wrong);
  }
  EXPECT_EQ(0, s.Stop());
}

TEST(Frames, NoFrameIsAnnouncedWithoutAClientHandle) {
  ScenarioWriter scenario;
  scenario.Page("about:blank#unshared", {"load_start", "load_end", "wait 300", "paint pattern=gradient"});
  // No client process id, and one that names no process: the textures cannot be shared.
  for (const char* pid_switch : {"", " --nimomp-clientpid=4294967"}) {
    GpuClientSession s;
    ASSERT_TRUE(s.Start(scenario, {"--nimomp-pipe=" + s.client().pipe_name() + pid_switch, 2, {}}))
        << "the engine never connected to the client:\n" << s.log();
    ASSERT_TRUE(s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 3, 64, 48, 0, "about:blank#unshared"));
    ASSERT_TRUE(WaitForPaints(s, 64, 48, 2, 15000));
    EXPECT_TRUE(Drain(s.client(), 500).empty()) << pid_switch;
    EXPECT_NE(std::string::npos,
              s.log().find("[nimo-webengine][gpu] surface texture ready (clientHandle=0000000000000000)\n"))
        << s.log();
    EXPECT_EQ(0, s.Stop());
    // The frames were copied all the same.
    EXPECT_NE(std::string::npos, s.log().find("paints=")) << s.log();
    EXPECT_EQ(std::string::npos, s.log().find("shut down. paints=0\n")) << s.log();
  }
}

}  // namespace
