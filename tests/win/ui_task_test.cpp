// UI tasks against a scripted engine post function: reference counting, names, and who
// owns the reference when posting succeeds, is refused or is impossible.
#include "link/ui_task.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/engine_api.h"

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

std::vector<std::string> ran;

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
  ASSERT_TRUE(PostUiTask("counted", [] { ran.push_back("counted"); }));
  ASSERT_EQ(posted.size(), 1u);
  cef_base_ref_counted_t* base = &posted[0].task->base;
  EXPECT_EQ(base->size, sizeof(cef_task_t));
  EXPECT_EQ(base->has_one_ref(base), 1);
  EXPECT_EQ(base->has_at_least_one_ref(base), 1);
  base->add_ref(base);
  EXPECT_EQ(base->has_one_ref(base), 0);
  EXPECT_EQ(base->has_at_least_one_ref(base), 1);
  EXPECT_EQ(base->release(base), 0);
  EXPECT_EQ(base->has_one_ref(base), 1);
  EXPECT_STREQ(UiTaskName(posted[0].task), "counted");
  RunAndRelease(posted[0].task);
  EXPECT_EQ(ran, std::vector<std::string>{"counted"});
}

TEST_F(UiTaskTest, ExecuteWithoutWorkDoesNothingAndIsStillFreed) {
  PostUiTask("empty", nullptr);
  ASSERT_EQ(posted.size(), 1u);
  RunAndRelease(posted[0].task);
  EXPECT_TRUE(ran.empty());
}

TEST_F(UiTaskTest, RefusedPostLeavesTheReferenceWithTheEngine) {
  // The engine adopts the reference even when it refuses; a poster that released it too
  // would free the task under the engine's feet.
  refuse_posts = true;
  EXPECT_FALSE(PostUiTask("refused", [] { ran.push_back("refused"); }));
  EXPECT_FALSE(PostDelayedUiTask("refused later", [] { ran.push_back("refused later"); }, 10));
  ASSERT_EQ(posted.size(), 2u);
  for (const Posted& p : posted) {
    cef_base_ref_counted_t* base = &p.task->base;
    EXPECT_EQ(base->has_one_ref(base), 1);
    EXPECT_EQ(base->release(base), 1);
  }
  EXPECT_TRUE(ran.empty());
}

TEST_F(UiTaskTest, WithoutThePostEntryNothingIsPostedOrRun) {
  engine_api.cef_post_task = nullptr;
  EXPECT_FALSE(PostUiTask("lost", [] { ran.push_back("lost"); }));
  PostLatencyProbe();
  engine_api.cef_post_delayed_task = nullptr;
  EXPECT_FALSE(PostDelayedUiTask("lost later", [] { ran.push_back("lost later"); }, 50));
  EXPECT_TRUE(posted.empty());
  EXPECT_TRUE(ran.empty());
}

TEST_F(UiTaskTest, DelayedPostCarriesItsWorkAndTheDelay) {
  const std::string captured(10000, 'u');
  EXPECT_TRUE(PostDelayedUiTask("later", [captured] { ran.push_back(captured); }, 150));
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].delay_ms, 150);
  EXPECT_STREQ(UiTaskName(posted[0].task), "later");
  RunAndRelease(posted[0].task);
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_EQ(ran[0], captured);
}

// Last: the gate stays closed for the rest of the process. A link thread that outlives the
// end of the message loop must not hand a task to an engine that is shutting down.
TEST_F(UiTaskTest, ZZAfterStopNoTaskReachesTheEngine) {
  StopUiTasks();
  EXPECT_FALSE(PostUiTask("late", [] { ran.push_back("late"); }));
  EXPECT_FALSE(PostDelayedUiTask("late", [] { ran.push_back("late"); }, 5));
  PostLatencyProbe();
  EXPECT_TRUE(posted.empty());
  EXPECT_TRUE(ran.empty());
}

}  // namespace
}  // namespace nimo
