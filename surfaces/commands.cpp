#include "surfaces/commands.h"

#include <cstring>

#include "base/engine_api.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/paths.h"
#include "diag/log.h"
#include "diag/perf_stats.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"
#include "protocol/frame_ring.h"
#include "protocol/keyboard_messages.h"
#include "protocol/pacing_messages.h"
#include "protocol/page_call.h"
#include "protocol/pointer_messages.h"
#include "surfaces/call_answers.h"
#include "surfaces/frame_pacing.h"
#include "surfaces/frame_ring_slots.h"
#include "surfaces/keyboard.h"
#include "surfaces/pointer.h"
#include "surfaces/portable/input_translate.h"
#include "surfaces/renderer_faults.h"
#include "surfaces/surface.h"

namespace nimo {

namespace {

// The browser of a live surface on the UI thread (the record keeps the reference), or
// null for an id out of range or a surface without one.
cef_browser_t* UiBrowser(std::uint32_t surface_id) {
  if (surface_id >= kSurfaceCount) return nullptr;
  return surfaces[surface_id].browser.get();
}

// A host reference of a browser for the duration of one handler.
EngineRef<cef_browser_host_t> HostOf(cef_browser_t* browser) {
  return GetRef(browser, &cef_browser_t::get_host);
}

// The main frame of a browser reference that the reader thread took for itself: the
// browser may be closed on the UI thread meanwhile, but cannot be freed under us.
struct ReaderFrame {
  explicit ReaderFrame(std::uint32_t surface_id)
      : browser(AcquireSurfaceBrowser(surface_id)),
        frame(GetRef(browser, &cef_browser_t::get_main_frame)) {}
  EngineRef<cef_browser_t> browser;
  EngineRef<cef_frame_t> frame;
};

void WasResized(cef_browser_host_t* host) {
  if (host->was_resized) host->was_resized(host);
}

void InvalidateView(cef_browser_host_t* host) {
  if (host->invalidate) host->invalidate(host, PET_VIEW);
}

cef_key_event_t ToKeyEvent(const KeyEventFields& f) {
  cef_key_event_t event;
  std::memset(&event, 0, sizeof event);
  event.type = static_cast<cef_key_event_type_t>(f.type);
  event.modifiers = f.modifiers;
  event.windows_key_code = f.windows_key_code;
  event.native_key_code = f.native_key_code;
  event.is_system_key = f.is_system_key;
  event.character = f.character;
  event.unmodified_character = f.unmodified_character;
  event.focus_on_editable_field = f.focus_on_editable_field;
  return event;
}

cef_mouse_event_t ToMouseEvent(const MouseEventFields& f) {
  cef_mouse_event_t event;
  event.x = f.x;
  event.y = f.y;
  event.modifiers = f.modifiers;
  return event;
}

// The version-3 commands (types from kFirstVersion3Command up), reached only on a link that
// negotiated version 3. Each case decodes its payload with its protocol/wire.h decoder
// (ignoring one too short for it) and acts on the reader thread or posts a UI task, as the
// version-2 commands below do; a type without a case is ignored like any unknown command.
void DispatchVersion3Command(const DecodedCommand& command) {
  // The input-method commands: the 16-byte head, then the text (protocol/keyboard_messages.h).
  const bool ime = command.type >= kMsgImeSetComposition && command.type <= kMsgImeCancelComposition;
  if (ime && (command.payload == nullptr || command.length < kSurfaceHeadSize)) return;
  switch (command.type) {
    case kMsgImeSetComposition:
    case kMsgImeCommitText: {
      const SurfaceHead head = DecodeSurfaceHead(command.payload);
      std::string text(reinterpret_cast<const char*>(command.payload + kSurfaceHeadSize),
                       command.length - kSurfaceHeadSize);
      if (command.type == kMsgImeSetComposition)
        PostUiTask("ime set composition", [head, text = std::move(text)] { ImeSetCompositionTask(head, text); });
      else
        PostUiTask("ime commit text", [head, text = std::move(text)] { ImeCommitTextTask(head, text); });
      break;
    }
    case kMsgImeFinishComposing: {
      const SurfaceHead head = DecodeSurfaceHead(command.payload);
      PostUiTask("ime finish composing", [head] { ImeFinishComposingTask(head); });
      break;
    }
    case kMsgImeCancelComposition: {
      const SurfaceHead head = DecodeSurfaceHead(command.payload);
      PostUiTask("ime cancel composition", [head] { ImeCancelCompositionTask(head); });
      break;
    }
    case kMsgSetScale: {
      SurfaceHead head = {};
      if (!DecodeSetScale(command.payload, command.length, &head.surface_id, &head.param1)) return;
      PostUiTask("scale", [head] { ScaleTask(head); });
      break;
    }
    case kMsgSetFramePacing: {
      FramePacingCommand pacing;
      if (!DecodeSetFramePacing(command.payload, command.length, &pacing)) return;
      PostUiTask("frame pacing", [pacing] { SetFramePacingTask(pacing); });
      break;
    }
    case kMsgBeginFrame: {
      std::uint32_t surface_id = 0;
      if (DecodeBeginFrame(command.payload, command.length, &surface_id)) QueueBeginFrame(surface_id);
      break;
    }
    case kMsgResolveCall:
      DeliverCallAnswer(command.payload, command.length);
      break;
    case kMsgFrameRelease: {
      SurfaceHead head = {};
      if (!DecodeFrameRelease(command.payload, command.length, &head.surface_id, &head.param1)) return;
      PostUiTask("frame release", [head] { ReleaseRingSlot(head.surface_id, head.param1); });
      break;
    }
    default:
      break;
  }
}

void DispatchCommand(const DecodedCommand& command) {
  const SurfaceHead head = command.head;
  switch (command.action) {
    case CommandAction::kIgnore:
      return;
    case CommandAction::kVersion3:
      DispatchVersion3Command(command);
      return;
    case CommandAction::kInput:
      CountInputEvent();
      PostUiTask("input", [input = command.input] { InputTask(input); });
      return;
    case CommandAction::kSurface:
      break;
  }
  switch (command.type) {
    case kMsgCreateSurface:
      // The text points into the reader's buffer: the task takes a copy.
      PostUiTask("create surface", [head, url = std::string(command.text ? command.text : "", command.text_length)] {
        CreateSurfaceTask(head, url);
      });
      break;
    case kMsgNavigate:
      NavigateSurface(head.surface_id, command.text, command.text_length);
      break;
    case kMsgExecuteScript:
      CountScriptMessage(command.text_length);
      ExecuteScriptInSurface(head.surface_id, command.text, command.text_length);
      break;
    case kMsgResizeSurface:
      PostUiTask("resize", [head] { ResizeTask(head); });
      break;
    case kMsgSetFocus:
      PostUiTask("focus", [head] { FocusTask(head); });
      break;
    case kMsgSetHidden:
      PostUiTask("visibility", [head] { VisibilityTask(head); });
      break;
    case kMsgReload:
      PostUiTask("reload", [head] { ReloadTask(head); });
      break;
    default:
      break;
  }
}

void LinkEnded() { PostUiTask("close all and quit", CloseAllAndQuit); }

}  // namespace

CommandSink SurfaceCommandSink() { return CommandSink{DispatchCommand, LinkEnded}; }

void NavigateSurface(std::uint32_t surface_id, const char* url, std::size_t url_length) {
  if (surface_id >= kSurfaceCount || !url || url_length == 0) return;
  if (surface_id == kUiSurfaceId && FlagFileExists(kFlagTestPage)) return;
  const ReaderFrame reader(surface_id);
  cef_frame_t* frame = reader.frame.get();
  if (!frame || !frame->load_url) return;
  TempEngineString text(url, url_length);
  NoteClientLoad(surface_id);
  frame->load_url(frame, text.get());
}

void ExecuteScriptInSurface(std::uint32_t surface_id, const char* script,
                            std::size_t script_length) {
  if (surface_id >= kSurfaceCount || !script || script_length == 0) return;
  const ReaderFrame reader(surface_id);
  cef_frame_t* frame = reader.frame.get();
  if (!frame || !frame->execute_java_script) return;
  TempEngineString code(script, script_length);
  TempEngineString script_url("", 0);  // scripts run without a source URL
  frame->execute_java_script(frame, code.get(), script_url.get(), 0);
}

void CreateSurfaceTask(const SurfaceHead& head, const std::string& url) {
  CreateSurfaceBrowser(head.surface_id, head.param1, head.param2, url);
}

void ResizeTask(const SurfaceHead& head) {
  if (head.surface_id >= kSurfaceCount) return;
  const std::uint32_t width = head.param1;
  const std::uint32_t height = head.param2;
  if (width == 0 || height == 0) return;
  Surface& surface = surfaces[head.surface_id];
  if (width == surface.view_width && height == surface.view_height) return;
  // Stored even without a browser: a later CreateSurface starts at this size.
  surface.view_width = width;
  surface.view_height = height;
  const auto host = HostOf(surface.browser.get());
  if (host) WasResized(host.get());
}

void FocusTask(const SurfaceHead& head) {
  const auto host = HostOf(UiBrowser(head.surface_id));
  // A drag in progress ends without a drop when the page loses the focus.
  if (host && head.param3 == 0) CancelSurfaceDrag(&surfaces[head.surface_id], host.get());
  // Keys and buttons still down are released while the page still has the focus.
  if (host && head.param3 == 0) KeyboardFocusLost(head.surface_id, host.get());
  if (host && host->set_focus) host->set_focus(host.get(), head.param3 ? 1 : 0);
}

void VisibilityTask(const SurfaceHead& head) {
  if (head.surface_id >= kSurfaceCount) return;
  const bool hidden = head.param3 != 0;
  KeyboardHidden(head.surface_id, hidden);
  {
    const auto host = HostOf(UiBrowser(head.surface_id));
    if (host && hidden) CancelSurfaceDrag(&surfaces[head.surface_id], host.get());
    if (host) {
      if (host->was_hidden) host->was_hidden(host.get(), hidden ? 1 : 0);
      if (!hidden) {
        WasResized(host.get());
        InvalidateView(host.get());
      }
    }
  }
  // A surface just shown may still paint stale content for a moment; three late
  // refreshes make sure the client ends up with the current page.
  if (!hidden) {
    const std::uint32_t id = head.surface_id;
    for (std::int64_t delay : kRefreshDelaysMs) PostDelayedUiTask("refresh view", [id] { RefreshViewTask(id); }, delay);
  }
}

void RefreshViewTask(std::uint32_t surface_id) {
  const auto host = HostOf(UiBrowser(surface_id));
  if (!host) return;
  WasResized(host.get());
  InvalidateView(host.get());
}

void ScaleTask(const SurfaceHead& head) { SetSurfaceScale(head.surface_id, head.param1); }

void ReloadTask(const SurfaceHead& head) {
  cef_browser_t* browser = UiBrowser(head.surface_id);
  if (!browser) return;
  NoteClientLoad(head.surface_id);
  if (head.param3 != 0 && browser->reload_ignore_cache) {
    browser->reload_ignore_cache(browser);
  } else if (browser->reload) {
    browser->reload(browser);
  }
}

void InputTask(const InputRecord& input) {
  const auto host = HostOf(UiBrowser(input.surface_id));
  if (!host) return;
  InputTranslation t = TranslateInput(input.message, input.wparam, input.lparam, input.modifiers);
  const bool key_reaches = KeyboardNoteInput(input, &t);
  if (PointerTakesInput(input, host.get(), &t) || !key_reaches) return;
  switch (t.call) {
    case InputCall::kNone:
      break;
    case InputCall::kKeyEvent:
      if (host->send_key_event) {
        const cef_key_event_t event = ToKeyEvent(t.key);
        host->send_key_event(host.get(), &event);
      }
      break;
    case InputCall::kMouseClick:
      if (host->send_mouse_click_event) {
        const cef_mouse_event_t event = ToMouseEvent(t.mouse);
        host->send_mouse_click_event(host.get(), &event,
                                     static_cast<cef_mouse_button_type_t>(t.button), t.mouse_up,
                                     t.click_count);
      }
      break;
    case InputCall::kMouseMove:
      if (host->send_mouse_move_event) {
        const cef_mouse_event_t event = ToMouseEvent(t.mouse);
        host->send_mouse_move_event(host.get(), &event, t.mouse_leave);
      }
      break;
    case InputCall::kMouseWheel:
      if (host->send_mouse_wheel_event) {
        const cef_mouse_event_t event = ToMouseEvent(t.mouse);
        host->send_mouse_wheel_event(host.get(), &event, t.delta_x, t.delta_y);
      }
      break;
  }
}

void CloseAllAndQuit() {
  if (surfaces.quitting.exchange(1) == 1) return;
  WriteLog("[nimo-webengine][ipc] closing browsers, then quitting\n");
  int closing = 0;
  for (std::uint32_t id = 0; id < kSurfaceCount; ++id) {
    const auto host = HostOf(surfaces[id].browser.get());
    if (host) CancelSurfaceDrag(&surfaces[id], host.get());
    if (host && host->close_browser) {
      host->close_browser(host.get(), 1);
      ++closing;
    }
  }
  // A browser that never closes, or a requested one the engine never delivers, must not
  // keep the process alive: the loop ends at the deadline whatever is still open.
  PostDelayedUiTask("shutdown deadline", ShutdownDeadlineTask, kShutdownDeadlineMs);
  // Without a browser to wait for, the loop ends now, unless a requested browser is still
  // on its way: it is closed on arrival, and its close ends the loop.
  if (closing != 0 || QuitLoopIfAllClosed()) return;
  for (const Surface& surface : surfaces) {
    if (surface.create_pending) return;
  }
  // Browsers that could not be asked to close must not keep the process alive.
  QuitLoopOnce();
}

void ShutdownDeadlineTask() {
  if (surfaces.loop_quit_requested.load()) return;
  WriteLog("[nimo-webengine][ipc] shutdown deadline of %llu ms passed with %llu browsers open or "
           "on their way - quitting\n",
           static_cast<std::uint64_t>(kShutdownDeadlineMs), static_cast<std::uint64_t>(OpenOrPending()));
  QuitLoopOnce();
}

}  // namespace nimo
