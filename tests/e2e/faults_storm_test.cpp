// Load faults against the real executable on the stand-in engine and GPU: a client that
// stops reading for ten seconds while four surfaces paint, create storms and a thousand
// create/close cycles, a page flooding the console, and a storm of resizes while painting.
// The engine must keep its pace, its bounds and its resources, and still end cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "protocol/wire.h"
#include "tests/support/engine_session.h"
#include "tests/support/fault_support.h"
#include "tests/support/shared_texture_reader.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

constexpr ULONGLONG kExitBoundMs = 2000;  // hang guard from the trigger to the exit
constexpr std::uint32_t kMouseMove = 0x200;

// Shutdown, reading until the engine's end closes; exit 0 within the bound, no reference
// left.
void ShutDownCleanly(EngineSession& s) {
  const ULONGLONG trigger = GetTickCount64();
  ASSERT_TRUE(s.client().SendShutdown());
  s.client().WaitClosed(static_cast<DWORD>(kExitBoundMs));
  const ULONGLONG spent = GetTickCount64() - trigger;
  EXPECT_EQ(s.WaitExit(static_cast<DWORD>(spent < kExitBoundMs ? kExitBoundMs - spent : 1)), 0);
  EXPECT_TRUE(s.LogHas("[nimo-webengine][ipc] Shutdown requested\n"));
  std::string detail;
  EXPECT_TRUE(s.ReferencesClean(&detail)) << detail;
}

// The number a numbered console run appended to a report's text, or -1.
long long TrailingNumber(const std::string& text) {
  std::size_t at = text.size();
  while (at > 0 && text[at - 1] >= '0' && text[at - 1] <= '9') --at;
  return at == text.size() ? -1 : std::atoll(text.c_str() + at);
}

// The largest "dropped N" of the log's statistics lines, or -1 without any.
long long MostDropped(const std::string& log) {
  long long most = -1;
  for (std::size_t at = log.find(" dropped "); at != std::string::npos; at = log.find(" dropped ", at + 1)) {
    most = std::max(most, std::atoll(log.c_str() + at + 9));
  }
  return most;
}

double Megabytes(long long bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// The URLs the engine created browsers for, read from the journal as it grows: each call
// parses only the lines written since the last, so a loop may ask often.
class CreatedUrls {
 public:
  explicit CreatedUrls(const std::string& journal_path) : path_(journal_path) {}

  bool Has(const std::string& url) {
    if (urls_.count(url) == 0) Update();
    return urls_.count(url) != 0;
  }

 private:
  void Update() {
    std::ifstream file(std::filesystem::u8path(path_), std::ios::binary);
    if (!file) return;
    file.seekg(static_cast<std::streamoff>(offset_));
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::size_t from = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', from)) {
      JournalEntry e;
      if (nimo_test::ParseJournalLine(text.substr(from, end - from), &e) && e.event == "create_browser") {
        urls_.insert(e.Get("url"));
      }
      from = end + 1;
    }
    offset_ += from;  // a line still being written is read whole next time
  }

  std::string path_;
  std::size_t offset_ = 0;
  std::set<std::string> urls_;
};

TEST(StalledClient, TenSecondsWithoutReadingWhileFourSurfacesPaint) {
  // Beside the frames, surface 3's page sends a numbered 256 KB page message every 25 ms:
  // traffic that cannot coalesce, so the send queue fills and its bound shows, in the
  // number of messages that were waiting and in the engine's memory.
  const std::string bulk = "NIMOMP|trigger|bulk" + std::string(256 * 1024, 'x') + "|";
  ScenarioWriter w;
  w.Line("quiet task. host.send_external_begin_frame cb.get_view_rect cb.on_console_message");
  w.Line(kFiguresDirective);
  AddPaintingPages(&w, {"console message=" + ScenarioWriter::Quote(bulk) +
                        " numbered=1 repeat=1000000 batch=1 interval=25"});
  SessionOptions options = PaintingOptions(w.Text());
  options.pipe_buffer = 4096;
  EngineSession s(options);
  constexpr std::uint32_t kWidth = 160, kHeight = 90;
  ASSERT_TRUE(StartPainting(s, kWidth, kHeight, 10, 20000)) << s.Log();

  std::vector<long long> numbers;  // of the page messages, in arrival order
  std::map<std::uint32_t, std::vector<FrameReadyPayload>> frames;  // after the stall
  auto read_for = [&](DWORD ms, bool keep_frames) {
    const ULONGLONG until = GetTickCount64() + ms;
    Report r;
    while (GetTickCount64() < until) {
      if (!s.client().Read(&r, 20)) continue;
      if (r.type == kMsgPageMessage) numbers.push_back(TrailingNumber(r.text()));
      if (r.type == kMsgFrameReady && keep_frames && r.payload.size() == kFrameReadyPayloadSize) {
        const FrameReadyPayload p = DecodeFrameReady(r.payload.data());
        frames[p.surface_id].push_back(p);
      }
    }
  };
  const long long reading_from = JournalClockMicros();
  read_for(1000, false);
  const long long reading_to = JournalClockMicros();
  ASSERT_FALSE(numbers.empty()) << "no page message before the stall";
  const std::size_t read_before = numbers.size();
  const ProcessFigures before = MeasureEngine(s);
  ASSERT_TRUE(before.ok);

  const long long stall_from = JournalClockMicros();
  Sleep(10000);
  const long long stall_to = JournalClockMicros();
  // Still not reading: hide the surfaces, so the newest frame of each is the last one
  // painted before the client reads again.
  for (std::uint32_t id = 0; id < 4; ++id) ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgSetHidden, id, 0, 0, 1));
  ASSERT_TRUE(s.WaitForEvents("host.was_hidden", 4, 5000, "hidden", "1"));
  Sleep(100);
  const ProcessFigures stalled = MeasureEngine(s);

  read_for(1500, true);
  const ProcessFigures resumed = MeasureEngine(s);
  const nimo_test::Journal j = s.Journal();

  const std::map<long long, std::uint32_t> surfaces = PaintingSurfaces(j);
  std::map<std::uint32_t, long long> last_frame;
  for (const JournalEntry& e : j.Events("paint.deliver")) {
    const auto it = surfaces.find(e.Int("browser", -1));
    if (it != surfaces.end()) last_frame[it->second] = e.Int("frame", -1);
  }

  // Order kept, nothing repeated; the messages that waited for the client are bounded by
  // the queue (64 frames, four of them the surfaces' FrameReady) plus the one being
  // written and the client's own pending read; the rest was dropped.
  for (std::size_t i = 1; i < numbers.size(); ++i) ASSERT_GT(numbers[i], numbers[i - 1]) << "at " << i;
  ASSERT_GT(numbers.size(), read_before);
  EXPECT_EQ(numbers[read_before], numbers[read_before - 1] + 1) << "lost before the queue was full";
  std::size_t waited = 1;
  while (read_before + waited < numbers.size() &&
         numbers[read_before + waited] == numbers[read_before + waited - 1] + 1) {
    ++waited;
  }
  ASSERT_LT(read_before + waited, numbers.size()) << "nothing was dropped in ten seconds";
  const long long dropped = numbers[read_before + waited] - numbers[read_before + waited - 1] - 1;
  std::printf("  page messages: %u waited for the client, then %lld dropped\n",
              static_cast<unsigned>(waited), dropped);
  EXPECT_GE(waited, 56u);
  EXPECT_LE(waited, 66u);
  EXPECT_GT(MostDropped(s.Log()), 0) << "the statistics show no dropped frame:\n" << s.Log();

  // Coalescing kept the newest frame of each surface, and only that one.
  for (std::uint32_t id = 0; id < 4; ++id) {
    SCOPED_TRACE("surface " + std::to_string(id));
    ASSERT_FALSE(frames[id].empty()) << "no frame after the stall";
    // The queued one, and at most one more each in the engine's write and the client's
    // read that were under way when the client stopped.
    EXPECT_LE(frames[id].size(), 3u) << "a backlog of frames instead of the newest";
    const FrameReadyPayload& p = frames[id].back();
    EXPECT_EQ(p.width, kWidth);
    EXPECT_EQ(p.height, kHeight);
    const nimo_test::SharedFrame f = nimo_test::ReadSharedTexture(p.client_handle);
    ASSERT_TRUE(f.opened);
    ASSERT_EQ(f.pixels.size(), static_cast<std::size_t>(kWidth) * kHeight);
    const std::uint32_t red = static_cast<std::uint32_t>(last_frame[id] & 255) << 16;
    int wrong = 0;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      for (std::uint32_t x = 0; x < kWidth; ++x) {
        if (f.at(x, y) != (0xFF000000u | red | (y & 255u) << 8 | (x & 255u))) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << "the texture does not hold frame " << last_frame[id] << ", e.g. " << std::hex << f.at(0, 0);
  }

  // Memory: a queue holding every message of the stall would have grown by about 100 MB.
  std::printf("  engine private bytes: %.1f MB before, %.1f MB stalled, %.1f MB resumed; handles %lld, %lld, %lld\n",
              Megabytes(before.private_bytes), Megabytes(stalled.private_bytes), Megabytes(resumed.private_bytes),
              before.handles, stalled.handles, resumed.handles);
  EXPECT_LT(stalled.private_bytes, before.private_bytes + 48LL * 1024 * 1024);
  EXPECT_LT(resumed.private_bytes, before.private_bytes + 48LL * 1024 * 1024);

  // The surfaces shown again, for the pace while the client reads after the stall.
  const std::size_t shown = s.Journal().Events("host.was_hidden", "hidden", "0").size();
  for (std::uint32_t id = 0; id < 4; ++id) ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgSetHidden, id, 0, 0, 0));
  ASSERT_TRUE(s.WaitForEvents("host.was_hidden", shown + 4, 5000, "hidden", "0"));
  const long long reading_again_from = JournalClockMicros();
  read_for(1000, false);
  const long long reading_again_to = JournalClockMicros();

  // The UI thread kept its pace on every surface while nobody read. The pace is the one
  // the same surface had while the client read, in the second before the stall and the
  // second after it, not a fixed number of frames a second: the frame pump aims at about
  // 60, but on a machine busy with other work the engine gets less, whether or not its
  // client reads. A UI thread held up by the stalled pipe paints only until the queue is
  // full, about the stall's first second and a half, so a tenth or two of that pace; half
  // of it leaves room for the other work on the machine changing between the windows.
  std::map<std::uint32_t, std::size_t> reading_paints, stalled_paints;
  for (const JournalEntry& e : s.Journal().Events("paint.deliver")) {
    const auto it = surfaces.find(e.Int("browser", -1));
    if (it == surfaces.end()) continue;
    if ((e.micros >= reading_from && e.micros < reading_to) ||
        (e.micros >= reading_again_from && e.micros < reading_again_to)) {
      ++reading_paints[it->second];
    }
    if (e.micros >= stall_from && e.micros < stall_to) ++stalled_paints[it->second];
  }
  const double reading_seconds = static_cast<double>(reading_to - reading_from + reading_again_to - reading_again_from) / 1e6;
  const double seconds = static_cast<double>(stall_to - stall_from) / 1e6;
  for (std::uint32_t id = 0; id < 4; ++id) {
    const double reading_rate = static_cast<double>(reading_paints[id]) / reading_seconds;
    const double rate = static_cast<double>(stalled_paints[id]) / seconds;
    std::printf("  surface %u painted %.1f frames/s while the client did not read (%.1f while it read)\n", id, rate,
                reading_rate);
    EXPECT_GT(reading_paints[id], 0u) << "surface " << id << " did not paint while the client read";
    EXPECT_GE(rate, reading_rate / 2.0) << "surface " << id;
  }
  ShutDownCleanly(s);
}

TEST(SurfaceChurn, CreateStormsAndAThousandCreateCloseCycles) {
  ScenarioWriter w;
  w.Line("quiet task. host.send_external_begin_frame cb.get_view_rect paint. nav. resource. cb.on_load");
  w.Line(kFiguresDirective);
  w.Page("about:blank#storm", {"load_start", "load_end", "wait 1500", "close force=1"});
  w.Page("about:blank#late", {"wait 1"});  // a navigation that reports nothing
  // Each cycle's create carries its number ("about:blank#cycle17"), so the journal tells
  // which cycle a browser was made for.
  w.Page("about:blank#cycle*", {"load_start", "paint pattern=solid color=0xFF3060C0", "load_end", "close force=1"});
  SessionOptions options;
  options.scenario = w.Text();
  options.gpu = true;
  EngineSession s(options);
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 1, 10000));
  FakeClient& c = s.client();

  // Storm: a hundred creates for every id in one burst; one browser per free slot.
  for (int round = 0; round < 100; ++round) {
    for (std::uint32_t id = 0; id < 6; ++id) {
      ASSERT_TRUE(c.SendSurfaceCommand(kMsgCreateSurface, id, 256, 256, 0, "about:blank#storm"));
    }
  }
  // A UI task behind the storm: once it ran, every create of the storm was handled.
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgSetFocus, 0, 0, 0, 1));
  ASSERT_TRUE(s.WaitForEvents("cb.on_before_close", 3, 10000));
  {
    const nimo_test::Journal j = s.Journal();
    ASSERT_EQ(j.Count("host.set_focus"), 1u);
    ASSERT_LT(j.First("host.set_focus")->micros, j.First("host.close_browser")->micros)
        << "the storm pages closed before the storm was handled";
    EXPECT_EQ(j.Events("create_browser", "url", "about:blank#storm").size(), 3u);
  }
  // Their load reports are not the cycles'.
  for (Report r; c.Read(&r, 200);) {
  }

  // Cycles on slots 1 to 3 side by side: create, the page paints, loads and closes itself;
  // its load report tells the client to create the next. A create that came while the
  // slot was still closing is ignored, so it is sent again after a while -- but only when
  // the journal shows no browser made for that cycle yet (a create still waiting for the
  // UI thread runs ahead of its copy, which then finds the slot taken). A create the
  // engine did take may simply not have reported yet: a busy machine delays the page's
  // load report well past the wait, and a copy sent then would reach a slot that is free
  // once that page closed itself, so the engine would rightly make a second browser.
  constexpr int kCycles = 1000;
  constexpr int kWarmUp = 100;
  int loaded = 0, sent = 0, resent = 0;
  ULONGLONG sent_at[4] = {0, 0, 0, 0};
  bool open[4] = {false, false, false, false};
  std::string cycle_url[4];
  CreatedUrls created(s.journal_path());
  ProcessFigures warm;
  auto send_create = [&](std::uint32_t id) {
    ASSERT_TRUE(c.SendSurfaceCommand(kMsgCreateSurface, id, 256, 256, 0, cycle_url[id]));
    sent_at[id] = GetTickCount64();
  };
  auto create = [&](std::uint32_t id) {
    cycle_url[id] = "about:blank#cycle" + std::to_string(sent);
    open[id] = true;
    send_create(id);
  };
  const ULONGLONG started = GetTickCount64();
  for (std::uint32_t id = 1; id < 4; ++id) {
    create(id);
    ++sent;
  }
  // A hang guard only: about 10 s on a quiet machine, 40 s seen on a very busy one.
  while (loaded < kCycles && GetTickCount64() - started < 120000) {
    Report r;
    if (c.Read(&r, 10)) {
      if (r.type == kMsgLoadEvent && r.param(1) == kLoadEventFinished && r.surface_id() >= 1 &&
          r.surface_id() < 4 && open[r.surface_id()]) {
        open[r.surface_id()] = false;
        // The page is closing now: the reader thread runs these against a browser that
        // the UI thread is letting go of.
        ASSERT_TRUE(c.SendSurfaceCommand(kMsgExecuteScript, r.surface_id(), 0, 0, 0, "window.closing = 1"));
        ASSERT_TRUE(c.SendSurfaceCommand(kMsgNavigate, r.surface_id(), 0, 0, 0, "about:blank#late"));
        if (++loaded == kWarmUp) {
          ASSERT_TRUE(s.WaitForEvents("cb.on_before_close", 3 + kWarmUp, 5000));
          warm = MeasureEngine(s);
        }
        if (sent < kCycles) {
          create(r.surface_id());
          ++sent;
        }
      }
      continue;
    }
    for (std::uint32_t id = 1; id < 4; ++id) {
      if (!open[id] || GetTickCount64() - sent_at[id] <= 60) continue;
      if (created.Has(cycle_url[id])) {
        sent_at[id] = GetTickCount64();  // taken: its load report is on its way
        continue;
      }
      send_create(id);
      ++resent;
    }
  }
  ASSERT_EQ(loaded, kCycles);
  ASSERT_TRUE(s.WaitForEvents("cb.on_before_close", 3 + kCycles, 5000));
  const ProcessFigures end = MeasureEngine(s);
  std::printf("  %d create/close cycles in %.1f s (%d creates sent again)\n", kCycles,
              static_cast<double>(GetTickCount64() - started) / 1000.0, resent);
  std::printf("  engine after %d cycles: %lld handles, %.1f MB private; after %d: %lld handles, %.1f MB\n", kWarmUp,
              warm.handles, Megabytes(warm.private_bytes), kCycles, end.handles, Megabytes(end.private_bytes));
  ASSERT_TRUE(warm.ok && end.ok);
  // A handle or a 256 KB texture left behind per cycle would show many times over.
  EXPECT_LE(end.handles, warm.handles + 16);
  EXPECT_LT(end.private_bytes, warm.private_bytes + 32LL * 1024 * 1024);

  ShutDownCleanly(s);
  const nimo_test::Journal j = s.Journal();
  // One browser per cycle: every create that came while its slot was busy was ignored.
  std::map<std::string, int> browsers_per_cycle;
  for (const JournalEntry& e : j.Events("create_browser")) {
    if (e.Get("url").rfind("about:blank#cycle", 0) == 0) ++browsers_per_cycle[e.Get("url")];
  }
  EXPECT_EQ(browsers_per_cycle.size(), static_cast<std::size_t>(kCycles));
  for (const auto& [url, count] : browsers_per_cycle) EXPECT_EQ(count, 1) << url;
  EXPECT_EQ(j.Count("cb.on_before_close"), j.Count("cb.on_after_created"));
  EXPECT_EQ(j.Count("refs.use_after_release"), 0u);
}

TEST(ConsoleFlood, TenThousandLinesASecond) {
  // The page logs 100 lines every 10 ms; the client reads as fast as it can while it sends
  // input, which must keep reaching the page. Whatever the engine cannot write in time is
  // dropped at its full send queue, and counted there: the statistics line that closes
  // the first ten seconds (the flood lies wholly inside them) names every lost line.
  constexpr long long kLines = 10000;
  ScenarioWriter w;
  w.Line("quiet task. host.send_external_begin_frame cb.get_view_rect cb.on_console_message");
  w.Line("script_echo prefix=echo:");
  w.Page("about:blank#flood", {"load_start", "load_end", "wait 200",
                               "console message=flood- numbered=1 repeat=" + std::to_string(kLines) +
                                   " batch=100 interval=10"});
  SessionOptions options;
  options.scenario = w.Text();
  options.url = "about:blank#flood";
  EngineSession s(options);
  ASSERT_TRUE(s.Start());
  const ULONGLONG started = GetTickCount64();  // the statistics' window began before

  std::vector<long long> numbers;
  std::vector<long long> probe_sent;  // journal clock at each probe's send
  ULONGLONG first_at = 0, last_at = 0, next_probe = 0;
  const ULONGLONG deadline = GetTickCount64() + 9000;
  // Until the last line, or a second without any line once the flood has begun.
  while (GetTickCount64() < deadline && (numbers.empty() || numbers.back() < kLines) &&
         (!last_at || GetTickCount64() - last_at < 1000)) {
    Report r;
    if (s.client().Read(&r, 20) && r.type == kMsgConsoleLine) {
      ASSERT_EQ(r.text().rfind("log|flood-", 0), 0u) << r.text();
      numbers.push_back(TrailingNumber(r.text()));
      last_at = GetTickCount64();
      if (!first_at) first_at = last_at;
    }
    if (first_at && GetTickCount64() >= next_probe) {
      probe_sent.push_back(JournalClockMicros());
      ASSERT_TRUE(s.client().SendInput(0, kMouseMove, 0, probe_sent.size(), 0));
      next_probe = GetTickCount64() + 50;
    }
  }
  ASSERT_FALSE(numbers.empty());
  for (std::size_t i = 1; i < numbers.size(); ++i) ASSERT_GT(numbers[i], numbers[i - 1]) << "reordered at " << i;
  const double seconds = static_cast<double>(last_at - first_at) / 1000.0;
  const long long lost = kLines - static_cast<long long>(numbers.size());
  std::printf("  %u of %lld console lines in %.2f s (%.0f lines/s), in order; %lld lost\n",
              static_cast<unsigned>(numbers.size()), kLines, seconds, seconds > 0 ? numbers.size() / seconds : 0.0,
              lost);

  ASSERT_TRUE(s.WaitForEvents("host.send_mouse_move_event", probe_sent.size(), 5000));
  const std::vector<JournalEntry> moves = s.Journal().Events("host.send_mouse_move_event");
  long long worst = 0;
  for (std::size_t i = 0; i < moves.size() && i < probe_sent.size(); ++i) {
    EXPECT_EQ(moves[i].Int("x", -1), static_cast<long long>(i + 1));
    worst = std::max(worst, moves[i].micros - probe_sent[i]);
  }
  std::printf("  %u input probes during the flood, slowest reached the page after %.1f ms\n",
              static_cast<unsigned>(probe_sent.size()), worst / 1000.0);
  EXPECT_LT(worst, 2000000) << "input stalled behind the flood";

  // Past the first ten seconds, one more report makes the statistics close their window.
  const ULONGLONG window_end = started + 10300;
  if (GetTickCount64() < window_end) Sleep(static_cast<DWORD>(window_end - GetTickCount64()));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgExecuteScript, 0, 0, 0, 0, "echo:window"));
  Report r;
  ASSERT_TRUE(s.client().ReadUntil(kMsgConsoleLine, &r, 5000));
  ASSERT_TRUE(s.WaitForLog(" dropped ", 5000)) << s.Log();
  EXPECT_EQ(MostDropped(s.Log()), lost) << s.Log();
  ShutDownCleanly(s);
}

TEST(ResizeStorm, AThousandSizesWhilePainting) {
  ScenarioWriter w;
  w.Line("quiet task. host.send_external_begin_frame cb.get_view_rect host.was_resized");
  w.Line(kFiguresDirective);
  AddPaintingPages(&w);
  EngineSession s(PaintingOptions(w.Text()));
  ASSERT_TRUE(StartPainting(s, 160, 90, 10, 20000)) << s.Log();
  Report r;
  for (const ULONGLONG until = GetTickCount64() + 300; GetTickCount64() < until;) s.client().Read(&r, 20);
  const ProcessFigures before = MeasureEngine(s);
  ASSERT_TRUE(before.ok);

  constexpr std::uint32_t kFinalWidth = 333, kFinalHeight = 222;
  for (int i = 0; i < 1000; ++i) {
    const bool last = i == 999;
    ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgResizeSurface, 1, last ? kFinalWidth : 64 + (i * 37) % 400,
                                              last ? kFinalHeight : 48 + (i * 53) % 300, 0));
    while (s.client().Read(&r, 0)) {
    }
  }
  // Waits for the final size to be painted, then for what was sent of it.
  const ULONGLONG deadline = GetTickCount64() + 15000;
  bool painted = false;
  while (!painted && GetTickCount64() < deadline) {
    // Four surfaces keep painting, so reports may never pause for 20 ms: drain for a
    // bounded time, then look at the journal.
    for (const ULONGLONG drained = GetTickCount64() + 200; GetTickCount64() < drained && s.client().Read(&r, 20);) {
    }
    const nimo_test::Journal j = s.Journal();
    const std::map<long long, std::uint32_t> surfaces = PaintingSurfaces(j);
    for (const JournalEntry& e : j.Events("paint.deliver")) {
      const auto it = surfaces.find(e.Int("browser", -1));
      painted = painted || (it != surfaces.end() && it->second == 1 && e.Int("width") == kFinalWidth &&
                            e.Int("height") == kFinalHeight);
    }
  }
  ASSERT_TRUE(painted) << "the final size was never painted";
  std::map<std::uint32_t, FrameReadyPayload> newest;
  for (const ULONGLONG until = GetTickCount64() + 500; GetTickCount64() < until;) {
    if (s.client().Read(&r, 20) && r.type == kMsgFrameReady && r.payload.size() == kFrameReadyPayloadSize) {
      const FrameReadyPayload p = DecodeFrameReady(r.payload.data());
      newest[p.surface_id] = p;
    }
  }
  ASSERT_EQ(newest.count(1), 1u);
  EXPECT_EQ(newest[1].width, kFinalWidth);
  EXPECT_EQ(newest[1].height, kFinalHeight);
  const nimo_test::SharedFrame f = nimo_test::ReadSharedTexture(newest[1].client_handle);
  EXPECT_TRUE(f.opened);
  EXPECT_EQ(f.width, kFinalWidth);
  EXPECT_EQ(f.height, kFinalHeight);
  for (std::uint32_t id : {0u, 2u, 3u}) {
    ASSERT_EQ(newest.count(id), 1u) << "surface " << id << " stopped painting";
    EXPECT_EQ(newest[id].width, 160u);
  }

  const ProcessFigures after = MeasureEngine(s);
  std::printf("  engine before the storm: %lld handles, %.1f MB private; after: %lld handles, %.1f MB\n", before.handles,
              Megabytes(before.private_bytes), after.handles, Megabytes(after.private_bytes));
  EXPECT_LE(after.handles, before.handles + 16) << "each size left a handle behind";
  ShutDownCleanly(s);
}

}  // namespace
}  // namespace test
}  // namespace nimo
