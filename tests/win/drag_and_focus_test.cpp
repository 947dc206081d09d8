// Input of a version-3 session against the engine fake (tests/support/fake_cef.h): what the
// page is sent while it plays a drag, when its document goes away under the drag, and what
// a lost focus releases, at a device scale other than 1. The decisions themselves are in
// tests/unit/held_input_test.cpp and tests/unit/pointer_test.cpp; here their wiring.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/engine_api.h"
#include "bridge/load_handler.h"
#include "link/send.h"
#include "protocol/input_messages.h"
#include "protocol/wire.h"
#include "surfaces/commands.h"
#include "surfaces/pointer.h"
#include "surfaces/renderer_faults.h"
#include "surfaces/surface.h"
#include "tests/support/fake_cef.h"

namespace nimo {
namespace {

using test::FakeBrowser;
using test::FakeHost;
using Calls = std::vector<std::string>;

// The page's drag data: counts its references, so a test sees it given back.
struct FakeDragData {
  cef_drag_data_t cef;
  int refs = 0;
};
FakeDragData* DataOf(cef_base_ref_counted_t* base) { return reinterpret_cast<FakeDragData*>(base); }
void CEF_CALLBACK DataAddRef(cef_base_ref_counted_t* self) { ++DataOf(self)->refs; }
int CEF_CALLBACK DataRelease(cef_base_ref_counted_t* self) { return --DataOf(self)->refs == 0; }
int CEF_CALLBACK DataHasOne(cef_base_ref_counted_t* self) { return DataOf(self)->refs == 1; }
int CEF_CALLBACK DataHasAny(cef_base_ref_counted_t* self) { return DataOf(self)->refs > 0; }

void Record(cef_browser_host_t* self, const std::string& call) { reinterpret_cast<FakeHost*>(self)->calls.push_back(call); }
void CEF_CALLBACK DragEnter(cef_browser_host_t* self, cef_drag_data_t* data, const cef_mouse_event_t* e,
                            cef_drag_operations_mask_t) {
  data->base.release(&data->base);  // the engine's to keep; the fake gives it back at once
  Record(self, "drag_enter x=" + std::to_string(e->x) + " y=" + std::to_string(e->y));
}
void CEF_CALLBACK DragOver(cef_browser_host_t* self, const cef_mouse_event_t* e, cef_drag_operations_mask_t) {
  Record(self, "drag_over x=" + std::to_string(e->x) + " y=" + std::to_string(e->y));
}
void CEF_CALLBACK DragLeave(cef_browser_host_t* self) { Record(self, "drag_leave"); }
void CEF_CALLBACK DragDrop(cef_browser_host_t* self, const cef_mouse_event_t*) { Record(self, "drag_drop"); }
void CEF_CALLBACK DragEndedAt(cef_browser_host_t* self, int, int, cef_drag_operations_mask_t op) {
  Record(self, "drag_ended_at op=" + std::to_string(op));
}
void CEF_CALLBACK DragSystemEnded(cef_browser_host_t* self) { Record(self, "drag_system_ended"); }
void CEF_CALLBACK CaptureLost(cef_browser_host_t* self) { Record(self, "capture_lost"); }

// Delayed tasks (the reload after a renderer fault) are dropped unrun.
int DropTask(cef_thread_id_t, cef_task_t* task, std::int64_t) {
  task->base.release(&task->base);
  return 1;
}

const Calls kCancelledDrag = {"drag_leave", "drag_ended_at op=0", "drag_system_ended"};

class DragAndFocusTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitSurfaceTable();
    SetLinkProtocolVersion(3);
    EnablePointer();
    for (Surface& s : surfaces) {
      InstallLoadHandler(&s.load_handler);
      InstallRendererFaultHandlers(&s.request_handler);
    }
  }
  void SetUp() override {
    saved_ = engine_api;
    engine_api.cef_post_delayed_task = DropTask;
    test::InstallFakeEngineStrings();
    browser_.reset(test::NewBrowser());
    cef_browser_host_t& h = browser_->host.cef;
    h.drag_target_drag_enter = DragEnter;
    h.drag_target_drag_over = DragOver;
    h.drag_target_drag_leave = DragLeave;
    h.drag_target_drop = DragDrop;
    h.drag_source_ended_at = DragEndedAt;
    h.drag_source_system_drag_ended = DragSystemEnded;
    h.send_capture_lost_event = CaptureLost;
    data_.cef.base.size = sizeof(cef_drag_data_t);
    data_.cef.base.add_ref = DataAddRef;
    data_.cef.base.release = DataRelease;
    data_.cef.base.has_one_ref = DataHasOne;
    data_.cef.base.has_at_least_one_ref = DataHasAny;
    Surface& s = surfaces[1];
    s.view_width = 1920;
    s.view_height = 1080;
    s.browser = ShareRef(&browser_->cef);
  }
  void TearDown() override {
    Surface& s = surfaces[1];
    ForgetPointer(&s);
    s.held_input = HeldInput();
    s.pointer.scale_milli = kScaleOne;
    s.browser = nullptr;
    EXPECT_EQ(data_.refs, 0) << "the drag data was not given back";
    EXPECT_EQ(browser_->host.refs, 0) << "a host reference was not released";
    EXPECT_EQ(browser_->refs, 0) << "a browser reference was not released";
    engine_api = saved_;
  }

  static void Input(std::uint32_t message, std::uint64_t wparam, std::uint64_t lparam) {
    InputTask(InputRecord{1, message, wparam, lparam, 0, 0});
  }
  static std::uint64_t At(int x, int y) { return (static_cast<std::uint64_t>(y) << 16) | static_cast<std::uint16_t>(x); }
  void StartDrag(int x, int y) {
    cef_render_handler_t* handler = &surfaces[1].render_handler;
    ++data_.refs;  // the engine's reference, given with the call
    ASSERT_EQ(1, handler->start_dragging(handler, test::Pass(browser_.get()), &data_.cef, DRAG_OPERATION_COPY, x, y));
    ASSERT_TRUE(surfaces[1].pointer.drag.active());
  }
  // The calls the page was sent since the last look.
  Calls Take() {
    Calls taken;
    taken.swap(browser_->host.calls);
    return taken;
  }
  static std::string Key(int type, int vk) {
    return "key type=" + std::to_string(type) + " mods=0 wkc=" + std::to_string(vk);
  }
  // The start of each key call ("key type=.. mods=.. wkc=.."), the rest as it is.
  static Calls Short(Calls calls) {
    for (std::string& c : calls) {
      if (c.rfind("key ", 0) == 0) c = c.substr(0, c.find(" nkc="));
    }
    return calls;
  }

  EngineApi saved_;
  std::unique_ptr<FakeBrowser> browser_;
  FakeDragData data_;
};

// The page sees a key's down and up both or neither while it drags, and a focus loss after
// it has nothing left to release.
TEST_F(DragAndFocusTest, KeysDuringADragReachThePageInPairs) {
  Input(kWmKeyDown, 0x10, 0x2A0001);  // Shift, down before the drag
  StartDrag(100, 100);
  Input(kWmKeyUp, 0x10, 0xC02A0001);  // released during the drag: the page must hear it
  Input(kWmKeyDown, 'A', 0x1E0001);   // pressed during the drag: held back with its key-up
  Input(kWmKeyDown, 0x1B, 0x10001);   // Escape ends the drag
  EXPECT_FALSE(surfaces[1].pointer.drag.active());
  Input(kWmKeyUp, 'A', 0xC01E0001);
  Input(kWmKeyUp, 0x1B, 0xC0010001);
  FocusTask(SurfaceHead{1, 0, 0, 0});
  Calls expected = {Key(KEYEVENT_RAWKEYDOWN, 0x10), "drag_enter x=100 y=100", Key(KEYEVENT_KEYUP, 0x10)};
  expected.insert(expected.end(), kCancelledDrag.begin(), kCancelledDrag.end());
  expected.insert(expected.end(), {"capture_lost", "set_focus 0"});
  EXPECT_EQ(Short(Take()), expected);
}

// A button down when the focus goes is released where it was pressed in the page's DIP,
// not at the texture pixel the client sent.
TEST_F(DragAndFocusTest, FocusLossReleasesAButtonWhereThePageSawItsPressAtEveryScale) {
  SetSurfaceScale(1, 2000);
  Take();
  Input(kWmLButtonDown, 1, At(1800, 1000));
  FocusTask(SurfaceHead{1, 0, 0, 0});
  const Calls calls = Take();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].substr(0, 17), "click x=900 y=500");
  EXPECT_EQ(calls[1], "capture_lost");
  EXPECT_EQ(calls[2].substr(0, 17), "click x=900 y=500");
  EXPECT_NE(calls[2].find("up=1"), std::string::npos) << calls[2];
  EXPECT_EQ(calls[3], "set_focus 0");
}

// A new document of the main frame, or the loss of the renderer, ends the page's drag as
// Escape does: the mouse belongs to the new document again.
TEST_F(DragAndFocusTest, ANewDocumentOrALostRendererEndsTheDrag) {
  std::unique_ptr<test::FakeFrame> main(test::NewFrame(true));
  browser_->main_frame = main.get();
  cef_load_handler_t* load = &surfaces[1].load_handler;
  cef_request_handler_t* request = &surfaces[1].request_handler;
  for (int round = 0; round < 2; ++round) {
    StartDrag(10, 20);
    Take();
    if (round == 0) {
      load->on_load_start(load, test::Pass(browser_.get()), test::Pass(main.get()), TT_EXPLICIT);
    } else {
      request->on_render_process_terminated(request, test::Pass(browser_.get()), TS_PROCESS_CRASHED, 0, nullptr);
    }
    EXPECT_EQ(Take(), kCancelledDrag) << "round " << round;
    EXPECT_FALSE(surfaces[1].pointer.drag.active());
    Input(kWmMouseMove, 0, At(30, 40));
    EXPECT_EQ(Take(), Calls{"move x=30 y=40 mods=0 leave=0"}) << "round " << round;
  }
  browser_->main_frame = nullptr;
  EXPECT_EQ(main->refs, 0);
}

}  // namespace
}  // namespace nimo
