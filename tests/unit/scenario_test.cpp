#include "client/portable/scenario.h"

#include <gtest/gtest.h>

#include "protocol/page_call.h"
#include "protocol/wire.h"

namespace nimo {
namespace client {
namespace {

namespace p = protocol;

std::vector<Step> Parse(const std::string& text, std::string* error = nullptr) {
  std::vector<Step> steps;
  std::string why;
  const bool ok = ParseScenario(text, 5000, &steps, &why);
  if (error != nullptr) *error = why;
  EXPECT_TRUE(ok || error != nullptr) << why;
  return steps;
}

// What the engine would make of a step's frame.
struct Seen {
  ReceiveOutcome outcome;
  DecodedCommand command;
  std::string text;
};

Seen Engine(const Step& step) {
  const ReceivedFrame r = ValidateReceived(ReadStatus::kComplete, step.frame.data(), step.frame.size());
  Seen s{r.outcome, DecodeCommand(r), std::string()};
  if (s.command.text != nullptr) s.text.assign(s.command.text, s.command.text_length);
  return s;
}

TEST(Scenario, CommandsBecomeTheFramesTheEngineExpects) {
  const std::vector<Step> steps = Parse(
      "# a comment\r\n"
      "\n"
      "create 1 800 600 https://a.test/x y\r\n"
      "navigate 2 about:blank\n"
      "script 1 window.__mpEmit('go', [1, 2]);\n"
      "resize 1 1024 768\n"
      "focus 1 1\n"
      "hide 3\n"
      "show 3\n"
      "reload 1 nocache\n"
      "reload 1\n"
      "create 2 0 0\n");
  ASSERT_EQ(steps.size(), 10u);
  Seen s = Engine(steps[0]);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(s.command.type, kMsgCreateSurface);
  EXPECT_EQ(s.command.head.param1, 800u);
  EXPECT_EQ(s.command.head.param2, 600u);
  EXPECT_EQ(s.text, "https://a.test/x y") << "the URL is the rest of the line, without the CR";
  EXPECT_EQ(Engine(steps[1]).text, "about:blank");
  s = Engine(steps[2]);
  EXPECT_EQ(s.command.type, kMsgExecuteScript);
  EXPECT_EQ(s.text, "window.__mpEmit('go', [1, 2]);");
  EXPECT_EQ(Engine(steps[3]).command.head.param2, 768u);
  EXPECT_EQ(Engine(steps[4]).command.head.param3, 1u);
  EXPECT_EQ(Engine(steps[5]).command.head.param3, 1u);
  EXPECT_EQ(Engine(steps[6]).command.head.param3, 0u);
  EXPECT_EQ(Engine(steps[7]).command.head.param3, 1u);
  EXPECT_EQ(Engine(steps[8]).command.head.param3, 0u);
  EXPECT_EQ(Engine(steps[9]).text, "");
}

TEST(Scenario, InputSteps) {
  const std::vector<Step> steps = Parse(
      "move 1 -5 7 2\n"
      "click 1 right up 3 4\n"
      "wheel 1 10 20 -120\n"
      "leave 1\n"
      "key 1 sysdown 0x12 0x380001 8\n"
      "char 1 0x20AC\n"
      "input 1 515 0 0x00100010\n");
  ASSERT_EQ(steps.size(), 7u);
  Seen s = Engine(steps[0]);
  ASSERT_EQ(s.command.action, CommandAction::kInput);
  EXPECT_EQ(LparamX(s.command.input.lparam), -5);
  EXPECT_EQ(LparamY(s.command.input.lparam), 7);
  EXPECT_EQ(s.command.input.modifiers, 2u);
  EXPECT_EQ(Engine(steps[1]).command.input.message, 0x205u);
  EXPECT_EQ(WheelDelta(Engine(steps[2]).command.input.wparam), -120);
  EXPECT_EQ(Engine(steps[3]).command.input.message, 0x2A3u);
  s = Engine(steps[4]);
  EXPECT_EQ(s.command.input.message, 0x104u);
  EXPECT_EQ(s.command.input.wparam, 0x12u);
  EXPECT_EQ(s.command.input.lparam, 0x380001u);
  EXPECT_EQ(s.command.input.modifiers, 8u);
  EXPECT_EQ(Engine(steps[5]).command.input.wparam, 0x20ACu);
  EXPECT_EQ(Engine(steps[6]).command.input.message, 515u);
}

TEST(Scenario, RawAndMalformedFramesReachTheEngineAsWritten) {
  const std::vector<Step> steps = Parse(
      "raw 4F4D494E 6D000000 00000000\n"
      "frame 102 1048577 1048577\n"
      "frame 103 0 0\n"
      "frame 101 16 17\n"
      "raw\n"
      "shutdown\n"
      "close\n");
  ASSERT_EQ(steps.size(), 7u);
  EXPECT_EQ(Engine(steps[0]).outcome, ReceiveOutcome::kShutdown);
  EXPECT_EQ(Engine(steps[1]).outcome, ReceiveOutcome::kBadFrame);
  EXPECT_EQ(steps[1].frame.size(), 12u + 1048577u);
  EXPECT_EQ(Engine(steps[2]).outcome, ReceiveOutcome::kOk);
  EXPECT_EQ(Engine(steps[3]).outcome, ReceiveOutcome::kBadFrame);
  EXPECT_TRUE(steps[4].frame.empty()) << "an empty message";
  EXPECT_EQ(Engine(steps[4]).outcome, ReceiveOutcome::kClosed);
  EXPECT_EQ(steps[5].kind, StepKind::kShutdown);
  EXPECT_EQ(steps[6].kind, StepKind::kClose);
}

TEST(Scenario, WaitsPausesAndSaves) {
  const std::vector<Step> steps = Parse(
      "wait hello\n"
      "wait FrameReady surface=0 width=1280 timeout=250\n"
      "wait LoadEvent surface=1 kind=2 error=-105\n"
      "wait PageMessage kind=invoke name=buy\n"
      "wait ConsoleLine surface=1 contains=hello  (file\n"
      "pause 40\n"
      "save 0 frames/probe 1.png\n"
      "answer add resolve {\"sum\": [5, \"five\"]}\n"
      "answer buy reject out of stock\n");
  ASSERT_EQ(steps.size(), 9u);
  EXPECT_EQ(steps[0].wait.type, nimo::kMsgHello);
  EXPECT_EQ(steps[0].wait.timeout_ms, 5000u);
  EXPECT_EQ(steps[1].wait.timeout_ms, 250u);
  EXPECT_EQ(*steps[1].wait.width, 1280u);
  EXPECT_FALSE(steps[1].wait.height.has_value());
  EXPECT_EQ(*steps[2].wait.load_kind, 2u);
  EXPECT_EQ(*steps[2].wait.error_code, -105);
  EXPECT_EQ(*steps[3].wait.page_kind, "invoke");
  EXPECT_EQ(*steps[4].wait.contains, "hello  (file") << "contains= takes the rest of the line";
  EXPECT_EQ(steps[5].pause_ms, 40u);
  EXPECT_EQ(steps[6].kind, StepKind::kSave);
  EXPECT_EQ(steps[6].surface, 0u);
  EXPECT_EQ(steps[6].path, "frames/probe 1.png");
  EXPECT_EQ(steps[7].kind, StepKind::kAnswer);
  EXPECT_EQ(steps[7].answer.name, "add");
  EXPECT_FALSE(steps[7].answer.reject);
  EXPECT_EQ(steps[7].answer.text, "{\"sum\": [5, \"five\"]}");
  EXPECT_TRUE(steps[8].answer.reject);
  EXPECT_EQ(steps[8].answer.text, "out of stock") << "a reason is the rest of the line";
}

TEST(Scenario, PacingStepsAreTheProtocolsCommands) {
  const std::vector<Step> steps = Parse(
      "pacing 0 client\n"
      "pacing 1 client noprobe\n"
      "pacing 2 engine\n"
      "pacing 3 engine 144\n"
      "pacing 3 ENGINE 30 noprobe\n"
      "pacing 0 engine noprobe\n"
      "beginframe 1\n");
  ASSERT_EQ(steps.size(), 7u);
  EXPECT_EQ(steps[0].frame, p::SetFramePacing(0, kPacingClientClock, 0, 0));
  EXPECT_EQ(steps[1].frame, p::SetFramePacing(1, kPacingClientClock, 0, kPacingFlagNoProbe));
  EXPECT_EQ(steps[2].frame, p::SetFramePacing(2, kPacingEngineClock, 0, 0));
  EXPECT_EQ(steps[3].frame, p::SetFramePacing(3, kPacingEngineClock, 144, 0));
  EXPECT_EQ(steps[4].frame, p::SetFramePacing(3, kPacingEngineClock, 30, kPacingFlagNoProbe));
  EXPECT_EQ(steps[5].frame, p::SetFramePacing(0, kPacingEngineClock, 0, kPacingFlagNoProbe));
  EXPECT_EQ(steps[6].frame, p::BeginFrame(1));
}

TEST(Scenario, ErrorsNameTheLine) {
  std::string error;
  std::vector<Step> steps;
  const char* bad[] = {
      "resize 1 800\n",            "resize 1 800 x\n",   "create -1 1 1\n",  "wait Goodbye\n",
      "wait FrameReady surface\n", "wait LoadEvent bogus=1\n", "click 1 left sideways 1 1\n",
      "raw 4F4\n",                  "char 1 0x10000\n",   "fly 1\n",          "reload 1 fast\n",
      "frame 70000 0 0\n",          "pause\n",            "navigate 1\n",
      "pacing 1 engine 241\n",     "pacing 1 client 30\n", "pacing 1 fast\n", "pacing 1 engine 60 x\n",
      "beginframe\n",
      "answer add\n",              "answer add maybe 1\n", "answer add resolve {\"a\":\n",
      "answer add resolve 1 2\n",
  };
  for (const char* line : bad) {
    EXPECT_FALSE(ParseScenario(std::string("pause 1\n") + line, 100, &steps, &error)) << line;
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
  }
}

p::Report MakeReport(std::uint16_t type, std::uint32_t surface, const std::string& text = "") {
  p::Report r;
  r.type = type;
  r.surface_id = surface;
  r.text = text;
  return r;
}

TEST(Scenario, MatchingChecksEveryNamedFilter) {
  std::vector<Step> steps = Parse(
      "wait LoadEvent surface=1 kind=0\n"
      "wait PageMessage surface=2 kind=trigger name=ping\n"
      "wait ConsoleLine text=WARN|hello\n"
      "wait Hello surface=0\n"
      "wait FrameReady height=720\n"
      "wait PageCall surface=0 name=add\n");
  p::Report load = MakeReport(nimo::kMsgLoadEvent, 1);
  EXPECT_TRUE(Matches(steps[0].wait, load));
  load.load_kind = 2;
  EXPECT_FALSE(Matches(steps[0].wait, load));
  EXPECT_FALSE(Matches(steps[0].wait, MakeReport(nimo::kMsgLoadEvent, 2)));
  EXPECT_FALSE(Matches(steps[0].wait, MakeReport(nimo::kMsgConsoleLine, 1)));

  EXPECT_TRUE(Matches(steps[1].wait, MakeReport(nimo::kMsgPageMessage, 2, "NIMOMP|trigger|ping")));
  EXPECT_FALSE(Matches(steps[1].wait, MakeReport(nimo::kMsgPageMessage, 2, "NIMOMP|trigger|pingx")));
  EXPECT_FALSE(Matches(steps[1].wait, MakeReport(nimo::kMsgPageMessage, 2, "NIMOMP|invoke|ping")));
  EXPECT_FALSE(Matches(steps[1].wait, MakeReport(nimo::kMsgPageMessage, 2, "garbage")));

  EXPECT_TRUE(Matches(steps[2].wait, MakeReport(nimo::kMsgConsoleLine, 3, "WARN|hello")));
  EXPECT_FALSE(Matches(steps[2].wait, MakeReport(nimo::kMsgConsoleLine, 3, "WARN|hello!")));

  EXPECT_FALSE(Matches(steps[3].wait, MakeReport(nimo::kMsgHello, 0))) << "Hello has no surface";

  p::Report frame = MakeReport(nimo::kMsgFrameReady, 0);
  frame.height = 720;
  EXPECT_TRUE(Matches(steps[4].wait, frame));
  frame.height = 721;
  EXPECT_FALSE(Matches(steps[4].wait, frame));

  EXPECT_TRUE(Matches(steps[5].wait, MakeReport(kMsgPageCall, 0, R"({"name":"add","args":[],"origin":"file://"})")));
  EXPECT_FALSE(Matches(steps[5].wait, MakeReport(kMsgPageCall, 0, R"({"name":"addx","args":[],"origin":"file://"})")));
  EXPECT_FALSE(Matches(steps[5].wait, MakeReport(kMsgPageCall, 0, "not json")));
}

}  // namespace
}  // namespace client
}  // namespace nimo
