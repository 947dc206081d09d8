#include "protocol/reports.h"

#include <utility>

#include "protocol/frame_ring.h"
#include "protocol/keyboard_messages.h"
#include "protocol/page_call.h"
#include "protocol/wire.h"

namespace nimo {
namespace protocol {

DecodeStatus DecodeReport(const void* message, std::size_t size, Report* out) {
  const std::uint8_t* m = static_cast<const std::uint8_t*>(message);
  *out = Report();
  if (m == nullptr || size < kFrameHeaderSize) return DecodeStatus::kTooShort;
  const FrameHeader header = DecodeFrameHeader(m);
  if (header.magic != kFrameMagic) return DecodeStatus::kBadMagic;
  const std::uint32_t length = header.length;
  if (length > kMaxPayloadSize || size != kFrameHeaderSize + static_cast<std::size_t>(length))
    return DecodeStatus::kBadLength;
  const std::uint8_t* p = m + kFrameHeaderSize;
  out->type = header.type;
  switch (header.type) {
    case kMsgHello: {
      if (length < kHelloPayloadSize) return DecodeStatus::kShortPayload;
      const HelloPayload hello = DecodeHello(p);
      out->version = hello.version;
      out->engine_pid = hello.process_id;
      return DecodeStatus::kOk;
    }
    case kMsgFrameReady: {
      if (length < kFrameReadyPayloadSize) return DecodeStatus::kShortPayload;
      const FrameReadyPayload frame = DecodeFrameReady(p);
      out->surface_id = frame.surface_id;
      out->width = frame.width;
      out->height = frame.height;
      out->format = frame.format;
      out->client_handle = frame.client_handle;
      return DecodeStatus::kOk;
    }
    case kMsgLoadEvent:
    case kMsgConsoleLine:
    case kMsgPageMessage: {
      if (length < kSurfaceHeadSize) return DecodeStatus::kShortPayload;
      const SurfaceHead head = DecodeSurfaceHead(p);
      out->surface_id = head.surface_id;
      if (header.type == kMsgLoadEvent) {
        out->load_kind = head.param1;
        out->error_code = static_cast<std::int32_t>(head.param2);
      }
      out->text.assign(reinterpret_cast<const char*>(p + kSurfaceHeadSize), length - kSurfaceHeadSize);
      return DecodeStatus::kOk;
    }
    case kMsgTextInputState:
      if (!DecodeTextInputState(p, length, &out->surface_id, &out->input_mode)) return DecodeStatus::kShortPayload;
      return DecodeStatus::kOk;
    case kMsgImeCompositionBounds: {
      ImeBoundsReport bounds;
      if (!DecodeImeCompositionBounds(p, length, &bounds)) return DecodeStatus::kShortPayload;
      out->surface_id = bounds.surface_id;
      out->range_from = bounds.from;
      out->range_to = bounds.to;
      out->rects = std::move(bounds.rects);
      return DecodeStatus::kOk;
    }
    case kMsgPageCall: {
      CallMessage call;
      if (!DecodePageCall(p, length, &call)) return DecodeStatus::kShortPayload;
      out->surface_id = call.surface_id;
      out->call_id = call.call_id;
      out->text = std::move(call.json);
      return DecodeStatus::kOk;
    }
    case kMsgFrameFence:
      if (!DecodeFrameFence(p, length, &out->client_handle)) return DecodeStatus::kShortPayload;
      return DecodeStatus::kOk;
    case kMsgFrameReady3: {
      FrameReady3Fields frame;
      if (!DecodeFrameReady3(p, length, &frame)) return DecodeStatus::kShortPayload;
      out->surface_id = frame.surface_id;
      out->slot = frame.slot;
      out->flags = frame.flags;
      out->client_handle = frame.client_handle;
      out->width = frame.width;
      out->height = frame.height;
      out->format = frame.format;
      out->fence_value = frame.fence_value;
      out->paint_time = frame.paint_time;
      out->frame_number = frame.frame_number;
      return DecodeStatus::kOk;
    }
    default:
      return DecodeStatus::kUnknownType;
  }
}

const char* ReportName(std::uint16_t type) {
  switch (type) {
    case kMsgHello: return "Hello";
    case kMsgFrameReady: return "FrameReady";
    case kMsgLoadEvent: return "LoadEvent";
    case kMsgConsoleLine: return "ConsoleLine";
    case kMsgPageMessage: return "PageMessage";
    case kMsgTextInputState: return "TextInputState";
    case kMsgImeCompositionBounds: return "ImeCompositionBounds";
    case kMsgPageCall: return "PageCall";
    case kMsgFrameFence: return "FrameFence";
    case kMsgFrameReady3: return "FrameReady3";
    default: return "Unknown";
  }
}

}  // namespace protocol
}  // namespace nimo
