#include "protocol/commands.h"

#include <string>

#include "protocol/frame_ring.h"
#include "protocol/input_messages.h"
#include "protocol/keyboard_messages.h"
#include "protocol/page_call.h"

namespace nimo {
namespace protocol {

Bytes Frame(std::uint16_t type, const void* payload, std::size_t length) {
  if (length > kMaxPayloadSize) return Bytes();
  return BuildFrame(type, payload, static_cast<std::uint32_t>(length));
}

Bytes HeadCommand(std::uint16_t type, std::uint32_t surface, std::uint32_t p1, std::uint32_t p2,
                  std::uint32_t p3, std::string_view text) {
  if (text.size() > kMaxPayloadSize - kSurfaceHeadSize) return Bytes();
  const Bytes payload = BuildHeadPayload(SurfaceHead{surface, p1, p2, p3}, text.data(), text.size());
  return Frame(type, payload.data(), payload.size());
}

Bytes CreateSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height, std::string_view url) {
  return HeadCommand(kMsgCreateSurface, surface, width, height, 0, url);
}

Bytes Navigate(std::uint32_t surface, std::string_view url) { return HeadCommand(kMsgNavigate, surface, 0, 0, 0, url); }

Bytes ExecuteScript(std::uint32_t surface, std::string_view script) {
  return HeadCommand(kMsgExecuteScript, surface, 0, 0, 0, script);
}

Bytes EmitToPage(std::uint32_t surface, std::string_view name_json, std::string_view args_json) {
  std::string script = "window.__mpEmit&&window.__mpEmit(";
  script.append(name_json.data(), name_json.size());
  script += ",";
  script.append(args_json.data(), args_json.size());
  script += ");";
  return ExecuteScript(surface, script);
}

Bytes ResizeSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height) {
  return HeadCommand(kMsgResizeSurface, surface, width, height, 0);
}

Bytes SetFocus(std::uint32_t surface, bool focus) { return HeadCommand(kMsgSetFocus, surface, 0, 0, focus ? 1u : 0u); }

Bytes SetHidden(std::uint32_t surface, bool hidden) {
  return HeadCommand(kMsgSetHidden, surface, 0, 0, hidden ? 1u : 0u);
}

Bytes Reload(std::uint32_t surface, bool ignore_cache) {
  return HeadCommand(kMsgReload, surface, 0, 0, ignore_cache ? 1u : 0u);
}

Bytes ImeSetComposition(std::uint32_t surface, std::string_view text, std::uint32_t selection_start,
                        std::uint32_t selection_end) {
  return HeadCommand(kMsgImeSetComposition, surface, selection_start, selection_end, 0, text);
}
Bytes ImeCommitText(std::uint32_t surface, std::string_view text) {
  return HeadCommand(kMsgImeCommitText, surface, 0, 0, 0, text);
}
Bytes ImeFinishComposing(std::uint32_t surface, bool keep_selection) {
  return HeadCommand(kMsgImeFinishComposing, surface, 0, 0, keep_selection ? 1u : 0u);
}
Bytes ImeCancelComposition(std::uint32_t surface) { return HeadCommand(kMsgImeCancelComposition, surface, 0, 0, 0); }

Bytes ResolveCall(std::uint32_t surface, std::uint32_t call_id, std::uint32_t status, std::string_view json) {
  return HeadCommand(kMsgResolveCall, surface, call_id, status, 0, json);
}

Bytes FrameRelease(std::uint32_t surface, std::uint32_t slot) {
  const SurfaceHead head = FrameReleaseHead(surface, slot);
  return HeadCommand(kMsgFrameRelease, head.surface_id, head.param1, head.param2, head.param3);
}

Bytes Shutdown() { return Frame(kMsgShutdown, nullptr, 0); }

bool IsShutdown(const Bytes& message) {
  if (message.size() != kFrameHeaderSize) return false;
  const FrameHeader h = DecodeFrameHeader(message.data());
  return h.magic == kFrameMagic && h.type == kMsgShutdown;
}

Bytes Input(const InputRecord& record) {
  std::uint8_t payload[kInputRecordSize];
  EncodeInputRecord(record, payload);
  return Frame(kMsgInputEvent, payload, sizeof payload);
}

std::uint64_t PackPoint(int x, int y) {
  return (static_cast<std::uint64_t>(static_cast<std::uint16_t>(y)) << 16) | static_cast<std::uint16_t>(x);
}

Bytes MouseMove(std::uint32_t surface, int x, int y, std::uint32_t modifiers) {
  return Input({surface, kWmMouseMove, 0, PackPoint(x, y), modifiers});
}

Bytes MouseClick(std::uint32_t surface, MouseButton button, bool up, int x, int y, std::uint32_t modifiers) {
  const std::uint32_t down = button == MouseButton::kLeft    ? kWmLButtonDown
                             : button == MouseButton::kRight ? kWmRButtonDown
                                                             : kWmMButtonDown;
  return Input({surface, down + (up ? 1u : 0u), 0, PackPoint(x, y), modifiers});
}

Bytes MouseWheel(std::uint32_t surface, int x, int y, int delta, std::uint32_t modifiers) {
  const std::uint64_t wparam = static_cast<std::uint64_t>(static_cast<std::uint16_t>(delta)) << 16;
  return Input({surface, kWmMouseWheel, wparam, PackPoint(x, y), modifiers});
}

Bytes MouseLeave(std::uint32_t surface) { return Input({surface, kWmMouseLeave, 0, 0, 0}); }

Bytes Key(std::uint32_t surface, bool up, std::uint32_t virtual_key, std::uint32_t native, std::uint32_t modifiers,
          bool system) {
  const std::uint32_t message = system ? (up ? kWmSysKeyUp : kWmSysKeyDown) : (up ? kWmKeyUp : kWmKeyDown);
  return Input({surface, message, virtual_key, native, modifiers});
}

Bytes Char(std::uint32_t surface, std::uint16_t code_unit, std::uint32_t modifiers, bool system) {
  return Input({surface, system ? kWmSysChar : kWmChar, code_unit, 0, modifiers});
}

}  // namespace protocol
}  // namespace nimo
