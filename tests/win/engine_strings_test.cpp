// Engine string conversion in both directions against a recording fake of the engine's
// string entry points: exact UTF-8 bytes, the surrogate rules, who frees what, and that
// nothing is read beyond the length the engine gives.
#include "base/engine_strings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/engine_api.h"

namespace nimo {
namespace {

int live_engine_buffers = 0;
int clear_calls = 0;
std::vector<cef_string_userfree_t> freed;
std::vector<std::string> converted;  // what the engine was given, as bytes

void CountedDtor(char16_t* str) {
  delete[] str;
  --live_engine_buffers;
}

int FakeUtf8ToUtf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  converted.push_back(std::string(src, src_len));
  const int n = MultiByteToWideChar(CP_UTF8, 0, src, static_cast<int>(src_len), nullptr, 0);
  output->str = new char16_t[n + 1]();
  ++live_engine_buffers;
  MultiByteToWideChar(CP_UTF8, 0, src, static_cast<int>(src_len),
                      reinterpret_cast<LPWSTR>(output->str), n);
  output->length = static_cast<size_t>(n);
  output->dtor = CountedDtor;
  return 1;
}

void FakeClear(cef_string_utf16_t* str) {
  ++clear_calls;
  if (str->dtor) str->dtor(str->str);
  str->str = nullptr;
  str->length = 0;
  str->dtor = nullptr;
}

void FakeUserfreeFree(cef_string_userfree_t str) { freed.push_back(str); }

class EngineStrings : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = engine_api;
    engine_api.cef_string_utf8_to_utf16 = FakeUtf8ToUtf16;
    engine_api.cef_string_utf16_clear = FakeClear;
    engine_api.cef_string_userfree_utf16_free = FakeUserfreeFree;
    live_engine_buffers = 0;
    clear_calls = 0;
    freed.clear();
    converted.clear();
  }
  void TearDown() override { engine_api = saved_; }
  EngineApi saved_;
};

cef_string_t View(const char16_t* units, size_t length) {
  cef_string_t s = {};
  s.str = const_cast<char16_t*>(units);
  s.length = length;
  return s;
}

TEST_F(EngineStrings, ToUtf8EmptyInputs) {
  EXPECT_EQ(ToUtf8(nullptr), "");
  cef_string_t null_pointer = View(nullptr, 5);
  EXPECT_EQ(ToUtf8(&null_pointer), "");
  cef_string_t zero_length = View(u"abc", 0);
  EXPECT_EQ(ToUtf8(&zero_length), "");
}

TEST_F(EngineStrings, ToUtf8ExactBytes) {
  // ä, € and U+1D11E: 1 + 1 + 2 code units, 2 + 3 + 4 bytes.
  const char16_t units[] = {0x00E4, 0x20AC, 0xD834, 0xDD1E};
  cef_string_t s = View(units, 4);
  EXPECT_EQ(ToUtf8(&s), "\xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E");
  EXPECT_EQ(ToUtf8(&s).size(), 9u);
  // The length rules, not a terminator: an embedded NUL is text, what follows is not.
  const char16_t with_nul[] = {u'a', 0, u'b', u'c'};
  cef_string_t nul = View(with_nul, 3);
  EXPECT_EQ(ToUtf8(&nul), std::string("a\0b", 3));
}

TEST_F(EngineStrings, UnpairedSurrogatesBecomeReplacementCharacters) {
  const char16_t lone_high[] = {u'x', 0xD834, u'y'};
  cef_string_t high = View(lone_high, 3);
  EXPECT_EQ(ToUtf8(&high), "x\xEF\xBF\xBDy");
  const char16_t lone_low[] = {0xDD1E};
  cef_string_t low = View(lone_low, 1);
  EXPECT_EQ(ToUtf8(&low), "\xEF\xBF\xBD");
  // A pair cut by the length: the high half alone is unpaired.
  const char16_t cut_pair[] = {0xD834, 0xDD1E};
  cef_string_t cut = View(cut_pair, 1);
  EXPECT_EQ(ToUtf8(&cut), "\xEF\xBF\xBD");
}

TEST_F(EngineStrings, LengthBeyondThirtyTwoBitsIsRefused) {
  // Cut to 32 bits this length would read 3 units and silently drop the rest; the
  // conversion refuses it instead (only 3 units are readable here).
  const char16_t units[] = {u'a', u'b', u'c'};
  cef_string_t s = View(units, (static_cast<size_t>(1) << 32) + 3);
  EXPECT_EQ(ToUtf8(&s), "");
  cef_string_t minus_one = View(units, 0xFFFFFFFFu);  // would mean "to the terminator"
  EXPECT_EQ(ToUtf8(&minus_one), "");
}

TEST_F(EngineStrings, UserfreeIsFreedExactlyWhenGiven) {
  EXPECT_EQ(UserfreeToUtf8(nullptr), "");
  EXPECT_TRUE(freed.empty());

  cef_string_t handed_over = View(u"hello", 5);
  EXPECT_EQ(UserfreeToUtf8(&handed_over), "hello");
  ASSERT_EQ(freed.size(), 1u);
  EXPECT_EQ(freed[0], &handed_over);

  engine_api.cef_string_userfree_utf16_free = nullptr;  // unresolved: converted, not freed
  EXPECT_EQ(UserfreeToUtf8(&handed_over), "hello");
  EXPECT_EQ(freed.size(), 1u);
}

// A script value with just the slots V8StringToUtf8 may touch.
struct FakeValue {
  cef_v8value_t value;
  int is_string_result;
  cef_string_userfree_t string_value;
  int get_string_calls;
};

FakeValue* Self(cef_v8value_t* self) { return reinterpret_cast<FakeValue*>(self); }
int CEF_CALLBACK IsString(cef_v8value_t* self) { return Self(self)->is_string_result; }
cef_string_userfree_t CEF_CALLBACK GetString(cef_v8value_t* self) {
  ++Self(self)->get_string_calls;
  return Self(self)->string_value;
}

FakeValue MakeValue(int is_string, cef_string_userfree_t string_value) {
  FakeValue fake = {};
  fake.value.is_string = IsString;
  fake.value.get_string_value = GetString;
  fake.is_string_result = is_string;
  fake.string_value = string_value;
  return fake;
}

TEST_F(EngineStrings, V8StringOfNonStrings) {
  EXPECT_EQ(V8StringToUtf8(nullptr), "");
  cef_string_t text = View(u"5", 1);
  FakeValue number = MakeValue(0, &text);
  EXPECT_EQ(V8StringToUtf8(&number.value), "");
  EXPECT_EQ(number.get_string_calls, 0);  // a non-string hands out nothing to free
  FakeValue no_slot = MakeValue(1, &text);
  no_slot.value.is_string = nullptr;
  EXPECT_EQ(V8StringToUtf8(&no_slot.value), "");
  EXPECT_TRUE(freed.empty());
}

TEST_F(EngineStrings, V8StringConvertsAndFreesTheString) {
  const char16_t units[] = {u'[', u'1', u',', 0x20AC, u']'};
  cef_string_t text = View(units, 5);
  FakeValue value = MakeValue(1, &text);
  EXPECT_EQ(V8StringToUtf8(&value.value), "[1,\xE2\x82\xAC]");
  ASSERT_EQ(freed.size(), 1u);
  EXPECT_EQ(freed[0], &text);

  // The empty string: empty text, and its engine string is still freed.
  cef_string_t empty = View(nullptr, 0);
  FakeValue empty_value = MakeValue(1, &empty);
  EXPECT_EQ(V8StringToUtf8(&empty_value.value), "");
  EXPECT_EQ(freed.size(), 2u);

  FakeValue nothing = MakeValue(1, nullptr);  // a string value that hands out null
  EXPECT_EQ(V8StringToUtf8(&nothing.value), "");
  EXPECT_EQ(freed.size(), 2u);
}

TEST_F(EngineStrings, TempStringConvertsExactlyTheGivenBytesAndClearsOnce) {
  const char* text = "abcdef";
  {
    TempEngineString s(text, 3);
    ASSERT_EQ(converted.size(), 1u);
    EXPECT_EQ(converted[0], "abc");
    EXPECT_EQ(ToUtf8(s.get()), "abc");
    EXPECT_EQ(live_engine_buffers, 1);
  }
  EXPECT_EQ(clear_calls, 1);
  EXPECT_EQ(live_engine_buffers, 0);
  {
    TempEngineString s(std::string("x\0y", 3));
    EXPECT_EQ(ToUtf8(s.get()), std::string("x\0y", 3));
  }
  {
    TempEngineString s(nullptr, 99);  // no text: the engine gets the empty string
    EXPECT_EQ(s.get()->length, 0u);
    EXPECT_EQ(converted.back(), "");
  }
  EXPECT_EQ(clear_calls, 3);
  EXPECT_EQ(live_engine_buffers, 0);
}

TEST_F(EngineStrings, TempStringWithoutEngineEntriesStaysEmpty) {
  engine_api.cef_string_utf8_to_utf16 = nullptr;
  engine_api.cef_string_utf16_clear = nullptr;
  TempEngineString s("abc");
  EXPECT_EQ(s.get()->str, nullptr);
  EXPECT_EQ(s.get()->length, 0u);
  EXPECT_TRUE(converted.empty());
}

}  // namespace
}  // namespace nimo
