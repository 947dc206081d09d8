#include "protocol/wire.h"

#include <cstring>

namespace nimo {

std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t ReadU64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(ReadU32(p)) | (static_cast<std::uint64_t>(ReadU32(p + 4)) << 32);
}

void WriteU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void WriteU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void WriteU64(std::uint8_t* p, std::uint64_t v) {
  WriteU32(p, static_cast<std::uint32_t>(v));
  WriteU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

void EncodeFrameHeader(const FrameHeader& header, std::uint8_t* out) {
  WriteU32(out, header.magic);
  WriteU16(out + 4, header.type);
  WriteU16(out + 6, header.reserved);
  WriteU32(out + 8, header.length);
}

FrameHeader DecodeFrameHeader(const std::uint8_t* in) {
  FrameHeader h;
  h.magic = ReadU32(in);
  h.type = ReadU16(in + 4);
  h.reserved = ReadU16(in + 6);
  h.length = ReadU32(in + 8);
  return h;
}

void EncodeSurfaceHead(const SurfaceHead& head, std::uint8_t* out) {
  WriteU32(out, head.surface_id);
  WriteU32(out + 4, head.param1);
  WriteU32(out + 8, head.param2);
  WriteU32(out + 12, head.param3);
}

SurfaceHead DecodeSurfaceHead(const std::uint8_t* in) {
  SurfaceHead h;
  h.surface_id = ReadU32(in);
  h.param1 = ReadU32(in + 4);
  h.param2 = ReadU32(in + 8);
  h.param3 = ReadU32(in + 12);
  return h;
}

void EncodeInputRecord(const InputRecord& record, std::uint8_t* out) {
  WriteU32(out, record.surface_id);
  WriteU32(out + 4, record.message);
  WriteU64(out + 8, record.wparam);
  WriteU64(out + 16, record.lparam);
  WriteU32(out + 24, record.modifiers);
  WriteU32(out + 28, record.reserved);
}

InputRecord DecodeInputRecord(const std::uint8_t* in) {
  InputRecord r;
  r.surface_id = ReadU32(in);
  r.message = ReadU32(in + 4);
  r.wparam = ReadU64(in + 8);
  r.lparam = ReadU64(in + 16);
  r.modifiers = ReadU32(in + 24);
  r.reserved = ReadU32(in + 28);
  return r;
}

void EncodeFrameReady(const FrameReadyPayload& payload, std::uint8_t* out) {
  WriteU32(out, payload.surface_id);
  WriteU32(out + 4, payload.width);
  WriteU32(out + 8, payload.height);
  WriteU32(out + 12, payload.format);
  WriteU64(out + 16, payload.client_handle);
}

FrameReadyPayload DecodeFrameReady(const std::uint8_t* in) {
  FrameReadyPayload p;
  p.surface_id = ReadU32(in);
  p.width = ReadU32(in + 4);
  p.height = ReadU32(in + 8);
  p.format = ReadU32(in + 12);
  p.client_handle = ReadU64(in + 16);
  return p;
}

void EncodeHello(const HelloPayload& payload, std::uint8_t* out) {
  WriteU32(out, payload.version);
  WriteU32(out + 4, payload.process_id);
}

HelloPayload DecodeHello(const std::uint8_t* in) {
  HelloPayload h;
  h.version = ReadU32(in);
  h.process_id = ReadU32(in + 4);
  return h;
}

void WriteFrameHeader(std::uint8_t* out, std::uint16_t type, std::uint32_t length) {
  FrameHeader h = {kFrameMagic, type, 0, length};
  EncodeFrameHeader(h, out);
}

std::vector<std::uint8_t> BuildFrame(std::uint16_t type, const void* payload, std::uint32_t length) {
  std::vector<std::uint8_t> frame;
  if (length > kMaxPayloadSize) return frame;
  frame.assign(static_cast<std::size_t>(length) + kFrameHeaderSize, 0);
  WriteFrameHeader(frame.data(), type, length);
  if (length != 0 && payload != nullptr) std::memcpy(frame.data() + kFrameHeaderSize, payload, length);
  return frame;
}

ReceivedFrame ValidateReceived(ReadStatus status, const std::uint8_t* data, std::size_t size) {
  ReceivedFrame r;
  if (status == ReadStatus::kFailed) {
    r.outcome = ReceiveOutcome::kClosed;
    return r;
  }
  // An over-long message is a malformed frame, not a closed pipe: the client is there,
  // it just broke the format.
  if (status == ReadStatus::kTooLong || size > kMaxFrameSize) {
    r.outcome = ReceiveOutcome::kBadFrame;
    return r;
  }
  if (data == nullptr || size < kFrameHeaderSize) {
    r.outcome = ReceiveOutcome::kClosed;
    return r;
  }
  const FrameHeader h = DecodeFrameHeader(data);
  if (h.magic != kFrameMagic || h.length > kMaxPayloadSize ||
      size != static_cast<std::size_t>(h.length) + kFrameHeaderSize) {
    r.outcome = ReceiveOutcome::kBadFrame;
    return r;
  }
  r.type = h.type;
  r.payload = data + kFrameHeaderSize;
  r.length = h.length;
  r.outcome = h.type == kMsgShutdown ? ReceiveOutcome::kShutdown : ReceiveOutcome::kOk;
  return r;
}

DecodedCommand DecodeCommand(const ReceivedFrame& frame, std::uint32_t version) {
  DecodedCommand c;
  c.type = frame.type;
  if (frame.outcome != ReceiveOutcome::kOk || frame.payload == nullptr) return c;
  if (frame.type >= kFirstVersion3Command) {
    if (version < 3) return c;
    c.payload = frame.payload;
    c.length = frame.length;
    c.action = CommandAction::kVersion3;
    return c;
  }
  if (frame.type == kMsgInputEvent || frame.type == kMsgInputEventAlt) {
    if (frame.length < kInputRecordSize) return c;
    c.input = DecodeInputRecord(frame.payload);
    c.action = CommandAction::kInput;
    return c;
  }
  if (frame.length < kSurfaceHeadSize) return c;
  if (frame.type < kMsgCreateSurface || frame.type > kMsgReload) return c;
  c.head = DecodeSurfaceHead(frame.payload);
  c.text = reinterpret_cast<const char*>(frame.payload + kSurfaceHeadSize);
  c.text_length = frame.length - kSurfaceHeadSize;
  c.action = CommandAction::kSurface;
  return c;
}

int LparamX(std::uint64_t lparam) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(lparam & 0xFFFFu));
}

int LparamY(std::uint64_t lparam) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((lparam >> 16) & 0xFFFFu));
}

int WheelDelta(std::uint64_t wparam) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((wparam >> 16) & 0xFFFFu));
}

std::vector<std::uint8_t> BuildHelloPayload(std::uint32_t process_id, std::uint32_t version) {
  std::vector<std::uint8_t> p(kHelloPayloadSize);
  EncodeHello(HelloPayload{version, process_id}, p.data());
  return p;
}

std::vector<std::uint8_t> BuildFrameReadyPayload(const FrameReadyPayload& payload) {
  std::vector<std::uint8_t> p(kFrameReadyPayloadSize);
  EncodeFrameReady(payload, p.data());
  return p;
}

std::vector<std::uint8_t> BuildHeadPayload(const SurfaceHead& head, const char* text, std::size_t length) {
  std::vector<std::uint8_t> p(kSurfaceHeadSize + (text != nullptr ? length : 0));
  EncodeSurfaceHead(head, p.data());
  if (text != nullptr && length != 0) std::memcpy(p.data() + kSurfaceHeadSize, text, length);
  return p;
}

SurfaceHead LoadFinishedHead(std::uint32_t surface_id) { return SurfaceHead{surface_id, kLoadEventFinished, 0, 0}; }

SurfaceHead LoadFailedHead(std::uint32_t surface_id, std::int32_t error_code) {
  return SurfaceHead{surface_id, kLoadEventFailed, static_cast<std::uint32_t>(error_code), 0};
}

SurfaceHead TextReportHead(std::uint32_t surface_id) { return SurfaceHead{surface_id, 0, 0, 0}; }

std::vector<std::uint8_t> BuildLoadFinishedPayload(std::uint32_t surface_id) {
  return BuildHeadPayload(LoadFinishedHead(surface_id), nullptr, 0);
}

std::vector<std::uint8_t> BuildLoadFailedPayload(std::uint32_t surface_id, std::int32_t error_code,
                                                 const std::string& url) {
  return BuildHeadPayload(LoadFailedHead(surface_id, error_code), url.data(), url.size());
}

std::vector<std::uint8_t> BuildSurfaceTextPayload(std::uint32_t surface_id, const char* text,
                                                  std::size_t text_length) {
  return BuildHeadPayload(TextReportHead(surface_id), text, text_length);
}

std::vector<std::uint8_t> BuildSurfaceTextPayload(std::uint32_t surface_id, const std::string& text) {
  return BuildSurfaceTextPayload(surface_id, text.data(), text.size());
}

}  // namespace nimo
