// Static engine objects: the engine may count references on them as it likes, they must
// never report a last reference, and filling the base must not disturb the object's slots.
#include "base/portable/static_ref.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nimo {
namespace {

void CEF_CALLBACK NoCommandLine(cef_app_t*, const cef_string_t*, cef_command_line_t*) {}

TEST(StaticRef, InitFillsOnlyTheBase) {
  cef_app_t app;
  std::memset(&app, 0xAB, sizeof app);
  app.on_before_command_line_processing = NoCommandLine;
  InitStaticBase(&app.base, sizeof app);

  EXPECT_EQ(app.base.size, 80u);
  EXPECT_EQ(app.base.add_ref, &StaticAddRef);
  EXPECT_EQ(app.base.release, &StaticRelease);
  EXPECT_EQ(app.base.has_one_ref, &StaticRelease);
  EXPECT_EQ(app.base.has_at_least_one_ref, &StaticHasAtLeastOneRef);
  EXPECT_EQ(app.on_before_command_line_processing, &NoCommandLine);
  // Bytes after the base are the caller's: untouched.
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&app);
  for (size_t i = offsetof(cef_app_t, on_register_custom_schemes); i < sizeof app; ++i) {
    ASSERT_EQ(raw[i], 0xAB) << "byte " << i;
  }
  InitStaticBase(nullptr, 80);  // tolerated
}

TEST(StaticRef, NeverReachesTheLastReference) {
  cef_task_t object = {};
  InitStaticBase(&object.base, sizeof object);
  cef_base_ref_counted_t* base = &object.base;
  // Far more releases than add_refs: a static object still counts as alive.
  base->add_ref(base);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(base->release(base), 0);
  EXPECT_EQ(base->has_one_ref(base), 0);
  EXPECT_EQ(base->has_at_least_one_ref(base), 1);
}

}  // namespace
}  // namespace nimo
