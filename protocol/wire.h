// The frame format spoken between the engine and its client over the one message-mode pipe,
// both ways: the constants, the message catalogue, the fixed records, building a frame,
// validating and decoding a received one, and the payload of every report. This is the one
// definition of the wire; the engine (link/) and the client side (client/, through
// protocol/commands.h and protocol/reports.h) both build on it.
//
// Pure functions and plain data only: callable from any thread, no state, no allocation
// except where a std::vector is returned. Every multi-byte field is little-endian on the
// wire; encoding and decoding go byte by byte, so nothing here depends on the host's
// byte order or on structure packing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/version.h"

namespace nimo {

// --- Limits and constants -------------------------------------------------------------
constexpr std::uint32_t kFrameMagic = 0x4E494D4Fu;  // the bytes "OMIN" on the wire
constexpr std::uint32_t kFrameHeaderSize = 12;
constexpr std::uint32_t kMaxPayloadSize = 0x100000;  // 1,048,576
constexpr std::uint32_t kMaxFrameSize = kMaxPayloadSize + kFrameHeaderSize;  // 1,048,588
constexpr std::uint32_t kSurfaceHeadSize = 16;
constexpr std::uint32_t kInputRecordSize = 32;
constexpr std::uint32_t kFrameReadyPayloadSize = 24;
constexpr std::uint32_t kHelloPayloadSize = 8;
constexpr std::uint32_t kSurfaceSlotCount = 4;  // ids 0..3; 4 or more is ignored everywhere

// Reports, engine to client. Types above kLastVersion2Report only on a version-3 link.
constexpr std::uint16_t kMsgHello = 1;
constexpr std::uint16_t kMsgFrameReady = 2;
constexpr std::uint16_t kMsgLoadEvent = 3;
constexpr std::uint16_t kMsgConsoleLine = 4;
constexpr std::uint16_t kMsgPageMessage = 5;

// Commands, client to engine. Types from kFirstVersion3Command up only on a version-3 link.
constexpr std::uint16_t kMsgCreateSurface = 100;
constexpr std::uint16_t kMsgNavigate = 101;
constexpr std::uint16_t kMsgExecuteScript = 102;
constexpr std::uint16_t kMsgResizeSurface = 103;
constexpr std::uint16_t kMsgSetFocus = 104;
constexpr std::uint16_t kMsgSetHidden = 105;
constexpr std::uint16_t kMsgInputEvent = 106;
constexpr std::uint16_t kMsgInputEventAlt = 107;  // handled exactly like kMsgInputEvent
constexpr std::uint16_t kMsgReload = 108;
constexpr std::uint16_t kMsgShutdown = 109;

// LoadEvent kinds (param1 of its head).
constexpr std::uint32_t kLoadEventFinished = 0;
constexpr std::uint32_t kLoadEventFailed = 2;

// FrameReady formats (the engine's cef_color_type_t values).
constexpr std::uint32_t kFrameFormatRgba = 0;  // also every CPU-path frame
constexpr std::uint32_t kFrameFormatBgra = 1;

// --- Fixed records ----------------------------------------------------------------------
// The in-memory structs mirror the wire layout field for field (their sizes are checked),
// but crossing the wire always goes through Encode*/Decode* below.
struct FrameHeader {
  std::uint32_t magic;
  std::uint16_t type;
  std::uint16_t reserved;  // written as 0, ignored on receipt
  std::uint32_t length;    // payload bytes, 0..kMaxPayloadSize
};
static_assert(sizeof(FrameHeader) == kFrameHeaderSize, "FrameHeader is 12 bytes");

// Head of every command except InputEvent and Shutdown, and of the text reports.
struct SurfaceHead {
  std::uint32_t surface_id;
  std::uint32_t param1;
  std::uint32_t param2;
  std::uint32_t param3;
};
static_assert(sizeof(SurfaceHead) == kSurfaceHeadSize, "SurfaceHead is 16 bytes");

// Payload of InputEvent: one Win32 window message as the client saw it
// (protocol/input_messages.h).
struct InputRecord {
  std::uint32_t surface_id = 0;
  std::uint32_t message = 0;
  std::uint64_t wparam = 0;
  std::uint64_t lparam = 0;
  std::uint32_t modifiers = 0;  // the engine's event-flag bits, passed through unchanged
  std::uint32_t reserved = 0;
};
static_assert(sizeof(InputRecord) == kInputRecordSize, "InputRecord is 32 bytes");

struct FrameReadyPayload {
  std::uint32_t surface_id;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t format;          // cef_color_type_t on the accelerated path, 0 on the CPU path
  std::uint64_t client_handle;   // the texture's handle value inside the client process
};
static_assert(sizeof(FrameReadyPayload) == kFrameReadyPayloadSize, "FrameReadyPayload is 24 bytes");

// Payload of Hello, the first report on every link.
struct HelloPayload {
  std::uint32_t version;     // the protocol version the engine speaks on this link
  std::uint32_t process_id;  // the engine's
};
static_assert(sizeof(HelloPayload) == kHelloPayloadSize, "HelloPayload is 8 bytes");

// --- Little-endian field access -------------------------------------------------------
std::uint16_t ReadU16(const std::uint8_t* p);
std::uint32_t ReadU32(const std::uint8_t* p);
std::uint64_t ReadU64(const std::uint8_t* p);
void WriteU16(std::uint8_t* p, std::uint16_t v);
void WriteU32(std::uint8_t* p, std::uint32_t v);
void WriteU64(std::uint8_t* p, std::uint64_t v);

void EncodeFrameHeader(const FrameHeader& header, std::uint8_t* out);  // 12 bytes
FrameHeader DecodeFrameHeader(const std::uint8_t* in);                  // 12 bytes
void EncodeSurfaceHead(const SurfaceHead& head, std::uint8_t* out);    // 16 bytes
SurfaceHead DecodeSurfaceHead(const std::uint8_t* in);                  // 16 bytes
void EncodeInputRecord(const InputRecord& record, std::uint8_t* out);  // 32 bytes
InputRecord DecodeInputRecord(const std::uint8_t* in);                  // 32 bytes
void EncodeFrameReady(const FrameReadyPayload& payload, std::uint8_t* out);  // 24 bytes
FrameReadyPayload DecodeFrameReady(const std::uint8_t* in);                   // 24 bytes
void EncodeHello(const HelloPayload& payload, std::uint8_t* out);             // 8 bytes
HelloPayload DecodeHello(const std::uint8_t* in);                             // 8 bytes

// --- Building a frame -----------------------------------------------------------------
// Writes the header {magic, type, 0, length} into `out` (kFrameHeaderSize bytes).
void WriteFrameHeader(std::uint8_t* out, std::uint16_t type, std::uint32_t length);

// The complete frame: header plus a copy of `length` payload bytes (zeros when `payload`
// is null). Empty when `length` exceeds kMaxPayloadSize: such a frame is never sent.
std::vector<std::uint8_t> BuildFrame(std::uint16_t type, const void* payload, std::uint32_t length);

// --- Receiving ------------------------------------------------------------------------
// How the pipe read that produced a message ended.
enum class ReadStatus {
  kComplete,  // a whole message arrived
  kFailed,    // the read or its wait failed (broken pipe, closed handle, ...)
  kTooLong,   // the message did not fit the receive buffer (ERROR_MORE_DATA)
};

enum class ReceiveOutcome {
  kOk,        // a valid frame: look at type/payload
  kClosed,    // the link ends: "pipe closed by client"
  kBadFrame,  // the link ends: "DESYNC (bad magic/size)"
  kShutdown,  // the link ends: "Shutdown requested"
};

struct ReceivedFrame {
  ReceiveOutcome outcome = ReceiveOutcome::kClosed;
  std::uint16_t type = 0;
  const std::uint8_t* payload = nullptr;  // points into the caller's buffer
  std::uint32_t length = 0;
};

// Classifies one pipe message of `size` bytes. A failed read or fewer than 12 bytes (an
// empty message included) is a closed link. A bad magic, a length above the limit, a byte
// count other than length + 12, or a message longer than the largest valid frame is a bad
// frame; nothing tries to resynchronise after it. Type Shutdown ends the link whatever
// its payload.
ReceivedFrame ValidateReceived(ReadStatus status, const std::uint8_t* data, std::size_t size);

// What the reader does with a valid, non-Shutdown frame.
enum class CommandAction {
  kIgnore,    // too short for its type, outside the catalogue, or above the link's version
  kSurface,   // types 100..105 and 108: head + text
  kInput,     // types 106/107: the InputRecord
  kVersion3,  // a type from kFirstVersion3Command up on a version-3 link: the payload as
              // it came, for the command layer's version-3 table to decode
};

struct DecodedCommand {
  CommandAction action = CommandAction::kIgnore;
  std::uint16_t type = 0;
  SurfaceHead head = {};
  InputRecord input = {};
  const char* text = nullptr;  // payload bytes 16..length, into the caller's buffer
  std::size_t text_length = 0;
  const std::uint8_t* payload = nullptr;  // kVersion3: the whole payload, into the caller's buffer
  std::uint32_t length = 0;
};

// Input needs 32 payload bytes (further bytes are ignored); every other version-2 command
// needs the 16-byte head, and the rest of the payload is its text. Types from
// kFirstVersion3Command up are kVersion3 when `version` is 3 or more and ignored below it.
// `frame` must be kOk.
DecodedCommand DecodeCommand(const ReceivedFrame& frame, std::uint32_t version = kProtocolVersion);

// --- Input fields ---------------------------------------------------------------------
// Mouse position packed in an LPARAM: bits 0..15 and 16..31 as signed 16-bit numbers.
int LparamX(std::uint64_t lparam);
int LparamY(std::uint64_t lparam);
// Wheel delta packed in the high word of the low 32 bits of a WPARAM, signed.
int WheelDelta(std::uint64_t wparam);

// --- Report payloads ------------------------------------------------------------------
// The heads of the head reports: LoadEvent kind 0 {surface, 0, 0, 0}; kind 2 {surface, 2,
// error code, 0}, followed by the failed URL; ConsoleLine and PageMessage {surface, 0, 0,
// 0}, followed by the text.
SurfaceHead LoadFinishedHead(std::uint32_t surface_id);
SurfaceHead LoadFailedHead(std::uint32_t surface_id, std::int32_t error_code);
SurfaceHead TextReportHead(std::uint32_t surface_id);
std::vector<std::uint8_t> BuildHelloPayload(std::uint32_t process_id, std::uint32_t version = kProtocolVersion);
std::vector<std::uint8_t> BuildFrameReadyPayload(const FrameReadyPayload& payload);
std::vector<std::uint8_t> BuildLoadFinishedPayload(std::uint32_t surface_id);
std::vector<std::uint8_t> BuildLoadFailedPayload(std::uint32_t surface_id, std::int32_t error_code,
                                                 const std::string& url);
std::vector<std::uint8_t> BuildSurfaceTextPayload(std::uint32_t surface_id, const char* text,
                                                  std::size_t text_length);
std::vector<std::uint8_t> BuildSurfaceTextPayload(std::uint32_t surface_id, const std::string& text);
// Any head followed by `length` text bytes (none when `text` is null): the layout of every
// head command and text report.
std::vector<std::uint8_t> BuildHeadPayload(const SurfaceHead& head, const char* text, std::size_t length);

}  // namespace nimo
