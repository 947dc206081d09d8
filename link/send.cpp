#include "link/send.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "diag/perf_stats.h"
#include "link/pipe_writer.h"

namespace nimo {

namespace {

// The version the link speaks; written once by ConnectPipe before Hello, read by any sender.
std::atomic<std::uint32_t> link_version{kProtocolVersion};

// Builds the frame {header, `head` when given, `length` bytes of `body`} into `frame`, in
// one allocation, and queues it; counts the outcome.
bool Queue(QueuedFrame& frame, std::uint16_t type, const SurfaceHead* head, const void* body,
           std::size_t length) noexcept {
  const std::size_t head_size = head ? kSurfaceHeadSize : 0;
  if (!TheWriter().started() || length > kMaxPayloadSize - head_size) return false;
  if (!ReportAllowed(type, LinkProtocolVersion())) return false;
  const auto payload_length = static_cast<std::uint32_t>(head_size + length);
  SendPushResult outcome;
  try {
    frame.bytes.assign(kFrameHeaderSize + payload_length, 0);
    WriteFrameHeader(frame.bytes.data(), type, payload_length);
    if (head) EncodeSurfaceHead(*head, frame.bytes.data() + kFrameHeaderSize);
    if (body && length) std::memcpy(frame.bytes.data() + kFrameHeaderSize + head_size, body, length);
    outcome = TheWriter().Push(frame);
  } catch (...) {
    RecordOutOfMemory("a report");
    return false;
  }
  // Counted after the queue lock is left: the two locks are never nested. A dropped frame
  // is freed here, outside the lock, too.
  RecordQueueOutcome(outcome.coalesced, !outcome.queued);
  return outcome.queued;
}

bool Queue(std::uint16_t type, const SurfaceHead* head, const void* body, std::size_t length) noexcept {
  QueuedFrame frame;
  return Queue(frame, type, head, body, length);
}

}  // namespace

bool SendFrame(std::uint16_t type, const void* payload, std::uint32_t length) noexcept {
  QueuedFrame frame;
  ClassifyReadyMade(type, static_cast<const std::uint8_t*>(payload), length, &frame);
  return Queue(frame, type, nullptr, payload, length);
}

bool SendHello(std::uint32_t process_id) noexcept {
  std::uint8_t hello[kHelloPayloadSize];
  EncodeHello(HelloPayload{LinkProtocolVersion(), process_id}, hello);
  return Queue(kMsgHello, nullptr, hello, sizeof hello);
}

std::uint32_t LinkProtocolVersion() noexcept { return link_version.load(std::memory_order_acquire); }

void SetLinkProtocolVersion(std::uint32_t version) noexcept { link_version.store(version, std::memory_order_release); }

bool SendFrameReady(const FrameReadyPayload& fields) noexcept {
  std::uint8_t payload[kFrameReadyPayloadSize];
  EncodeFrameReady(fields, payload);
  QueuedFrame frame;
  frame.frame_ready = true;
  frame.surface = fields.surface_id;
  frame.handle = fields.client_handle;
  return Queue(frame, kMsgFrameReady, nullptr, payload, sizeof payload);
}

bool SendFrameFence(std::uint64_t client_handle) noexcept {
  std::uint8_t payload[kFrameFencePayloadSize] = {};
  WriteU64(payload + kSurfaceHeadSize, client_handle);
  QueuedFrame frame;
  frame.keeps_handle = true;
  return Queue(frame, kMsgFrameFence, nullptr, payload, sizeof payload);
}

bool SendFrameReady3(const FrameReady3Fields& fields) noexcept {
  std::uint8_t payload[kFrameReady3PayloadSize];
  EncodeFrameReady3(fields, payload);
  QueuedFrame frame;
  frame.keeps_handle = (fields.flags & kFrameReady3NewTexture) != 0;
  return Queue(frame, kMsgFrameReady3, nullptr, payload, sizeof payload);
}

bool SendLoadFinished(std::uint32_t surface_id) noexcept {
  const SurfaceHead head = LoadFinishedHead(surface_id);
  return Queue(kMsgLoadEvent, &head, nullptr, 0);
}

bool SendLoadFailed(std::uint32_t surface_id, std::int32_t error_code, const std::string& url) noexcept {
  const SurfaceHead head = LoadFailedHead(surface_id, error_code);
  return Queue(kMsgLoadEvent, &head, url.data(), url.size());
}

bool SendText(std::uint16_t type, std::uint32_t surface_id, const std::string& text) noexcept {
  const SurfaceHead head = TextReportHead(surface_id);
  return Queue(type, &head, text.data(), text.size());
}

bool SendTextInputState(std::uint32_t surface_id, std::uint32_t mode) noexcept {
  const SurfaceHead head = TextInputStateHead(surface_id, mode);
  return Queue(kMsgTextInputState, &head, nullptr, 0);
}

bool SendImeCompositionBounds(std::uint32_t surface_id, std::uint32_t from, std::uint32_t to, const ImeRect* rects,
                              std::size_t count) noexcept {
  std::vector<std::uint8_t> payload;
  try {
    payload = EncodeImeCompositionBounds(surface_id, from, to, rects, count);
  } catch (...) {
    RecordOutOfMemory("a report");
    return false;
  }
  return Queue(kMsgImeCompositionBounds, nullptr, payload.data(), payload.size());
}

bool SendCursorChanged(std::uint32_t surface_id, std::uint32_t type, std::int32_t hotspot_x, std::int32_t hotspot_y,
                       std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& pixels) noexcept {
  // Refused before the picture is copied when the link has no such report.
  if (!ReportAllowed(kMsgCursorChanged, LinkProtocolVersion())) return false;
  std::vector<std::uint8_t> payload;
  try {
    payload = EncodeCursorChanged(surface_id, type, hotspot_x, hotspot_y, width, height, pixels);
  } catch (...) {
    RecordOutOfMemory("a report");
    return false;
  }
  return Queue(kMsgCursorChanged, nullptr, payload.data(), payload.size());
}

}  // namespace nimo
