// The application object's switch callback against the engine fake's command line: the
// exact switches of each set in order, every engine string cleared or freed, the command
// line's reference released on every path, and a command line without the value slot.
#include "host/app.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/engine_api.h"
#include "base/engine_strings.h"
#include "base/portable/static_ref.h"
#include "bridge/native_mp.h"
#include "host/portable/engine_switches.h"
#include "tests/support/fake_cef.h"

namespace nimo {
namespace {

using test::FakeCommandLine;
using test::NewCommandLine;

std::vector<std::string> Expected(bool cpu) {
  std::vector<std::string> out;
  for (const EngineSwitch& s : EngineSwitchSet(cpu)) {
    out.push_back(std::string("--") + s.name + (s.value ? std::string("=") + s.value : ""));
  }
  return out;
}

class App : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = engine_api;
    test::InstallFakeEngineStrings();
    SetEnvironmentVariableA("ZUNT_CEF_CPU", nullptr);
    // The fixed marker file cannot be created here; with it present the set is CPU anyway.
    marker_present_ = GetFileAttributesA("D:\\razuvavava\\ZUNT_CEF_CPU") != INVALID_FILE_ATTRIBUTES;
  }
  void TearDown() override {
    EXPECT_EQ(test::LiveEngineStrings(), 0) << "every engine string must be cleared or freed";
    engine_api = saved_;
    SetEnvironmentVariableA("ZUNT_CEF_CPU", nullptr);
  }
  // Runs the callback as the engine would: the command line carries one reference for it.
  std::vector<std::string> Process(FakeCommandLine* fake) {
    cef_app_t* app = GetEngineApp();
    cef_string_t process_type = {};
    app->on_before_command_line_processing(app, &process_type, test::Pass(fake));
    EXPECT_EQ(fake->refs, 0) << "the callback must release exactly its one reference";
    return fake->appended;
  }
  EngineApi saved_;
  bool marker_present_ = false;
};

TEST_F(App, ObjectIsStaticAndFilledOnce) {
  cef_app_t* app = GetEngineApp();
  EXPECT_EQ(app, GetEngineApp());
  EXPECT_EQ(app->base.size, 80u);
  EXPECT_EQ(app->base.add_ref, &StaticAddRef);
  EXPECT_EQ(app->base.release, &StaticRelease);
  EXPECT_EQ(app->base.has_one_ref, &StaticRelease);
  EXPECT_EQ(app->base.has_at_least_one_ref, &StaticHasAtLeastOneRef);
  EXPECT_NE(app->on_before_command_line_processing, nullptr);
  EXPECT_EQ(app->on_register_custom_schemes, nullptr);
  EXPECT_EQ(app->get_resource_bundle_handler, nullptr);
  EXPECT_EQ(app->get_browser_process_handler, nullptr);
  EXPECT_EQ(app->get_render_process_handler, &GetRenderProcessHandler);
  // Later calls must not refill: a slot changed in between stays changed.
  app->on_register_custom_schemes = reinterpret_cast<decltype(app->on_register_custom_schemes)>(1);
  GetEngineApp();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(app->on_register_custom_schemes), 1u);
  app->on_register_custom_schemes = nullptr;
}

TEST_F(App, SwitchSetFollowsTheCpuVariable) {
  struct Case {
    const char* value;  // null: unset
    bool cpu;
  };
  const Case cases[] = {{"1", true}, {"0", false}, {"11", false}, {"true", false},
                        {nullptr, false}, {"", false}, {"1 ", false}, {"100000000", false}};
  for (const Case& c : cases) {
    SetEnvironmentVariableA("ZUNT_CEF_CPU", c.value);
    const bool cpu = c.cpu || marker_present_;
    EXPECT_EQ(CpuRenderingForced(), cpu) << (c.value ? c.value : "(unset)");
    FakeCommandLine* fake = NewCommandLine();
    EXPECT_EQ(Process(fake), Expected(cpu)) << (c.value ? c.value : "(unset)");
    delete fake;
  }
}

TEST_F(App, WithoutValueSlotOnlyPlainSwitches) {
  FakeCommandLine* fake = NewCommandLine();
  fake->cef.append_switch_with_value = nullptr;
  std::vector<std::string> plain;
  for (const std::string& s : Expected(marker_present_)) {
    if (s.find('=') == std::string::npos) plain.push_back(s);
  }
  EXPECT_EQ(Process(fake), plain);
  delete fake;
}

TEST_F(App, NothingAppendedButReferenceStillReleased) {
  FakeCommandLine* no_append = NewCommandLine();
  no_append->cef.append_switch = nullptr;
  EXPECT_TRUE(Process(no_append).empty());
  delete no_append;

  engine_api.cef_string_utf8_to_utf16 = nullptr;
  FakeCommandLine* no_converter = NewCommandLine();
  EXPECT_TRUE(Process(no_converter).empty());
  delete no_converter;

  cef_app_t* app = GetEngineApp();
  app->on_before_command_line_processing(app, nullptr, nullptr);  // tolerated
}

TEST_F(App, CommandLineTextIsOptional) {
  FakeCommandLine* fake = NewCommandLine();
  fake->cef.get_command_line_string = nullptr;
  EXPECT_EQ(Process(fake), Expected(marker_present_));
  delete fake;
}

TEST_F(App, AppendSwitchWithValueConvertsBoth) {
  FakeCommandLine* fake = NewCommandLine();
  AppendSwitchWithValue(&fake->cef, "lang", "d\xC3\xA9");
  AppendSwitchWithValue(nullptr, "lang", "x");
  ASSERT_EQ(fake->appended.size(), 1u);
  EXPECT_EQ(fake->appended[0], "--lang=d\xC3\xA9");
  delete fake;
}

}  // namespace
}  // namespace nimo
