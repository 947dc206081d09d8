// One received pipe message through validation and command decoding, as the reader
// thread does it, then the input translation of an InputEvent.
#include <cstdint>
#include <cstring>
#include <vector>

#include "protocol/wire.h"
#include "surfaces/portable/input_translate.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nimo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Copy into an exact-size buffer so ASan sees any read past the message.
  std::vector<std::uint8_t> message(data, data + size);
  const std::uint8_t* bytes = message.empty() ? nullptr : message.data();

  for (ReadStatus status : {ReadStatus::kComplete, ReadStatus::kTooLong, ReadStatus::kFailed}) {
    const ReceivedFrame frame = ValidateReceived(status, bytes, size);
    if (status == ReadStatus::kFailed) FUZZ_CHECK(frame.outcome == ReceiveOutcome::kClosed);
    if (status == ReadStatus::kTooLong) FUZZ_CHECK(frame.outcome == ReceiveOutcome::kBadFrame);
    if (status != ReadStatus::kComplete) continue;

    if (size < kFrameHeaderSize) FUZZ_CHECK(frame.outcome == ReceiveOutcome::kClosed);
    const bool accepted = frame.outcome == ReceiveOutcome::kOk || frame.outcome == ReceiveOutcome::kShutdown;
    if (accepted) {
      FUZZ_CHECK(ReadU32(bytes) == kFrameMagic);
      FUZZ_CHECK(frame.length <= kMaxPayloadSize);
      FUZZ_CHECK(static_cast<std::size_t>(frame.length) + kFrameHeaderSize == size);
      FUZZ_CHECK(frame.payload == bytes + kFrameHeaderSize);
      FUZZ_CHECK((frame.outcome == ReceiveOutcome::kShutdown) == (frame.type == kMsgShutdown));
    }
    const DecodedCommand command = DecodeCommand(frame);
    if (frame.outcome != ReceiveOutcome::kOk) FUZZ_CHECK(command.action == CommandAction::kIgnore);
    if (command.action == CommandAction::kSurface) {
      FUZZ_CHECK(command.type >= kMsgCreateSurface && command.type <= kMsgReload);
      FUZZ_CHECK(command.type != kMsgInputEvent && command.type != kMsgInputEventAlt);
      FUZZ_CHECK(command.text_length + kSurfaceHeadSize == frame.length);
      FUZZ_CHECK(command.text == reinterpret_cast<const char*>(frame.payload) + kSurfaceHeadSize);
      // Touch every text byte: the text must lie inside the message.
      std::uint32_t sum = 0;
      for (std::size_t i = 0; i < command.text_length; ++i) sum += static_cast<std::uint8_t>(command.text[i]);
      (void)sum;
    }
    // A version-3 link decodes every version-2 command the same and hands on the rest whole.
    const DecodedCommand v3 = DecodeCommand(frame, 3);
    if (frame.outcome == ReceiveOutcome::kOk && frame.type >= kFirstVersion3Command) {
      FUZZ_CHECK(command.action == CommandAction::kIgnore);
      FUZZ_CHECK(v3.action == CommandAction::kVersion3);
      FUZZ_CHECK(v3.payload == frame.payload && v3.length == frame.length);
    } else {
      FUZZ_CHECK(v3.action == command.action && v3.text_length == command.text_length);
    }
    if (command.action == CommandAction::kInput) {
      FUZZ_CHECK(frame.length >= kInputRecordSize);
      const InputTranslation t = TranslateInput(command.input);
      FUZZ_CHECK(t.mouse.x >= -32768 && t.mouse.x <= 32767);
      FUZZ_CHECK(t.mouse.y >= -32768 && t.mouse.y <= 32767);
      if (t.call == InputCall::kMouseClick) FUZZ_CHECK(t.click_count == 1);
      if (t.call != InputCall::kKeyEvent) FUZZ_CHECK(t.key.windows_key_code == 0);
    }

    // A frame built from what was accepted reads back the same.
    if (frame.outcome == ReceiveOutcome::kOk) {
      const std::vector<std::uint8_t> rebuilt = BuildFrame(frame.type, frame.payload, frame.length);
      FUZZ_CHECK(rebuilt.size() == size);
      FUZZ_CHECK(std::memcmp(rebuilt.data(), bytes, 4) == 0);
      FUZZ_CHECK(std::memcmp(rebuilt.data() + 8, bytes + 8, size - 8) == 0);
    }
  }
  return 0;
}
