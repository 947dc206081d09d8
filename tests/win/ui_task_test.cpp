// UI tasks against a scripted engine post function: reference counting, copies, and who
// owns the reference when posting succeeds, is refused or is impossible.
#include "link/ui_task.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/base/engine_api.h"

namespace nimo {
namespace {

struct Posted {
  cef_task_t* task;
  std::int64_t delay_ms;  // -1 for an immediate post
};

std::vector<Posted> posted;
bool refuse_posts = false;

int Post(cef_thread_id_t thread, cef_task_t* task) {
  EXPECT_EQ(thread, TID_UI);
  posted.push_back({task, -1});
  return refuse_posts ? 0 : 1;
}

int PostDelayed(cef_thread_id_t thread, cef_task_t* task, std::int64_t delay_ms) {
  EXPECT_EQ(thread, TID_UI);
  posted.push_back({task, delay_ms});
  return refuse_posts ? 0 : 1;
}

std::vector<UiTask*> ran;
void RecordRun(UiTask* task) { ran.push_back(task); }

// Runs a posted task the way the engine does: execute, then drop the engine's reference.
void RunAndRelease(cef_task_t* task) {
  task->execute(task);
  EXPECT_EQ(task->base.release(&task->base), 1) << "the engine held the last reference";
}

class UiTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = engine_api;
    engine_api.cef_post_task = Post;
    engine_api.cef_post_delayed_task = PostDelayed;
    posted.clear();
    ran.clear();
    refuse_posts = false;
  }
  void TearDown() override { engine_api = saved_; }
  EngineApi saved_;
};

TEST_F(UiTaskTest, ReferenceCountingFollowsTheEngineContract) {
  UiTask* task = CreateUiTask(RecordRun, nullptr, nullptr, nullptr, 0);
  ASSERT_NE(task, nullptr);
  cef_base_ref_counted_t* base = &task->task.base;
  EXPECT_EQ(static_cast<void*>(task), static_cast<void*>(&task->task));
  EXPECT_EQ(base->size, sizeof(cef_task_t));
  EXPECT_EQ(base->has_one_ref(base), 1);
  EXPECT_EQ(base->has_at_least_one_ref(base), 1);
  base->add_ref(base);
  EXPECT_EQ(base->has_one_ref(base), 0);
  EXPECT_EQ(base->has_at_least_one_ref(base), 1);
  EXPECT_EQ(base->release(base), 0);
  EXPECT_EQ(base->has_one_ref(base), 1);
  EXPECT_EQ(base->release(base), 1);
}

TEST_F(UiTaskTest, ExecuteWithoutBodyDoesNothingAndIsStillFreed) {
  PostUiTask(nullptr, nullptr, nullptr);
  ASSERT_EQ(posted.size(), 1u);
  RunAndRelease(posted[0].task);
  EXPECT_TRUE(ran.empty());
}

TEST_F(UiTaskTest, BodyReadsItsOwnCopiesNotThePostersBuffers) {
  InputRecord input{2, 0x201, 1, 0xFFFF0010, 0x10, 0};
  SurfaceHead head{3, 640, 480, 1};
  std::string text(10000, 'u');
  text.front() = '<';
  text.back() = '>';
  PostUiTask(RecordRun, &input, &head, text);
  // The reader reuses its buffer for the next frame before the task runs.
  input = InputRecord{};
  head = SurfaceHead{};
  text.assign(text.size(), '#');

  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].delay_ms, -1);
  posted[0].task->execute(posted[0].task);
  ASSERT_EQ(ran.size(), 1u);
  const UiTask* seen = ran[0];
  EXPECT_EQ(seen->input.surface_id, 2u);
  EXPECT_EQ(seen->input.message, 0x201u);
  EXPECT_EQ(seen->input.lparam, 0xFFFF0010u);
  EXPECT_EQ(seen->input.modifiers, 0x10u);
  EXPECT_EQ(seen->head.surface_id, 3u);
  EXPECT_EQ(seen->head.param1, 640u);
  EXPECT_EQ(seen->head.param2, 480u);
  EXPECT_EQ(seen->head.param3, 1u);
  ASSERT_EQ(seen->text.size(), 10000u);
  EXPECT_EQ(seen->text.front(), '<');
  EXPECT_EQ(seen->text.back(), '>');
  EXPECT_EQ(seen->text.find('#'), std::string::npos);
  EXPECT_EQ(seen->posted_at, 0);
  EXPECT_EQ(posted[0].task->base.release(&posted[0].task->base), 1);
}

TEST_F(UiTaskTest, FieldsNotGivenAreZero) {
  const SurfaceHead head{1, 2, 3, 4};
  PostUiTask(RecordRun, nullptr, &head);
  ASSERT_EQ(posted.size(), 1u);
  const UiTask* task = reinterpret_cast<const UiTask*>(posted[0].task);
  EXPECT_EQ(task->input.surface_id, 0u);
  EXPECT_EQ(task->input.message, 0u);
  EXPECT_EQ(task->input.wparam, 0u);
  EXPECT_TRUE(task->text.empty());
  RunAndRelease(posted[0].task);
}

TEST_F(UiTaskTest, RefusedPostLeavesTheReferenceWithTheEngine) {
  // The engine adopts the reference even when it refuses; a poster that released it too
  // would free the task under the engine's feet.
  refuse_posts = true;
  UiTask* task = CreateUiTask(RecordRun, nullptr, nullptr, nullptr, 0);
  EXPECT_FALSE(PostBuiltUiTask(task));
  ASSERT_EQ(posted.size(), 1u);
  cef_base_ref_counted_t* base = &posted[0].task->base;
  EXPECT_EQ(base->has_one_ref(base), 1);
  EXPECT_EQ(base->release(base), 1);
  EXPECT_TRUE(ran.empty());
}

TEST_F(UiTaskTest, AcceptedPostReportsSuccess) {
  UiTask* task = CreateUiTask(RecordRun, nullptr, nullptr, nullptr, 0);
  task->posted_at = 12345;
  EXPECT_TRUE(PostBuiltUiTask(task));
  ASSERT_EQ(posted.size(), 1u);
  posted[0].task->execute(posted[0].task);
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_EQ(ran[0]->posted_at, 12345);
  EXPECT_EQ(posted[0].task->base.release(&posted[0].task->base), 1);
}

TEST_F(UiTaskTest, WithoutThePostEntryNothingIsPostedOrRun) {
  engine_api.cef_post_task = nullptr;
  PostUiTask(RecordRun, nullptr, nullptr, "text", 4);
  EXPECT_FALSE(PostBuiltUiTask(CreateUiTask(RecordRun, nullptr, nullptr, nullptr, 0)));
  EXPECT_TRUE(posted.empty());
  EXPECT_TRUE(ran.empty());
}

TEST_F(UiTaskTest, DelayedPostCarriesTheHeadAndTheDelay) {
  const SurfaceHead head{2, 0, 0, 0};
  PostDelayedUiTask(RecordRun, &head, 150);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].delay_ms, 150);
  posted[0].task->execute(posted[0].task);
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_EQ(ran[0]->head.surface_id, 2u);
  EXPECT_TRUE(ran[0]->text.empty());
  EXPECT_EQ(posted[0].task->base.release(&posted[0].task->base), 1);
}

TEST_F(UiTaskTest, DelayedPostWithoutItsEntryDoesNothing) {
  engine_api.cef_post_delayed_task = nullptr;
  const SurfaceHead head{2, 0, 0, 0};
  PostDelayedUiTask(RecordRun, &head, 50);
  EXPECT_TRUE(posted.empty());
}

}  // namespace
}  // namespace nimo
