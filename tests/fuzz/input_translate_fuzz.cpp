// Any 32-byte input record: one host call at most, fields taken from the right bits.
#include <cstdint>

#include "protocol/wire.h"
#include "surfaces/portable/input_translate.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nimo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kInputRecordSize) return 0;
  const InputRecord record = DecodeInputRecord(data);
  const InputTranslation t = TranslateInput(record);
  const auto low16 = [](std::uint64_t v) { return static_cast<std::int16_t>(v & 0xFFFF); };
  switch (t.call) {
    case InputCall::kNone:
      FUZZ_CHECK(t.mouse.x == 0 && t.mouse.y == 0 && t.key.windows_key_code == 0);
      break;
    case InputCall::kKeyEvent:
      FUZZ_CHECK(record.message >= 0x100 && record.message <= 0x106 && record.message != 0x103);
      FUZZ_CHECK(t.key.modifiers == record.modifiers);
      FUZZ_CHECK(static_cast<std::uint32_t>(t.key.windows_key_code) == static_cast<std::uint32_t>(record.wparam));
      FUZZ_CHECK(static_cast<std::uint32_t>(t.key.native_key_code) == static_cast<std::uint32_t>(record.lparam));
      FUZZ_CHECK(t.key.is_system_key == (record.message >= 0x104 ? 1 : 0));
      FUZZ_CHECK(t.key.character == t.key.unmodified_character);
      if (t.key.type != KEYEVENT_CHAR) FUZZ_CHECK(t.key.character == 0);
      break;
    case InputCall::kMouseClick:
    case InputCall::kMouseMove:
    case InputCall::kMouseWheel:
      FUZZ_CHECK(t.mouse.modifiers == record.modifiers);
      if (t.mouse_leave == 0) {
        FUZZ_CHECK(t.mouse.x == low16(record.lparam));
        FUZZ_CHECK(t.mouse.y == low16(record.lparam >> 16));
      } else {
        FUZZ_CHECK(record.message == 0x2A3 && t.mouse.x == 0 && t.mouse.y == 0);
      }
      if (t.call == InputCall::kMouseWheel) FUZZ_CHECK(t.delta_y == low16(record.wparam >> 16) && t.delta_x == 0);
      if (t.call == InputCall::kMouseClick) FUZZ_CHECK(t.click_count == 1 && (t.mouse_up == 0 || t.mouse_up == 1));
      break;
  }
  return 0;
}
