// The browser-process receiver of "mp:invoke", called as the engine calls it with counted
// message, list, browser and frame objects; the reports are read from the product's own
// pipe link exactly as the client reads them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bridge/page_invoke.h"
#include "protocol/wire.h"
#include "surfaces/surface.h"
#include "tests/support/fake_cef.h"
#include "tests/support/linked_client.h"

namespace nimo {
namespace {

using test::Report;

using test::FakeMessage;

std::unique_ptr<FakeMessage> NewMessage(const std::string& name,
                                        std::vector<std::pair<cef_value_type_t, std::string>> items) {
  return std::unique_ptr<FakeMessage>(test::NewMessage(name, std::move(items)));
}

std::pair<cef_value_type_t, std::string> S(const std::string& text) { return {VTYPE_STRING, text}; }

class PageInvokeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitSurfaceTable();
    for (Surface& s : surfaces) InstallProcessMessageReceiver(&s.client);
  }
  void SetUp() override {
    test::InstallFakeEngineStrings();
    ASSERT_NE(test::LinkedClient(), nullptr);
  }
  void TearDown() override { EXPECT_EQ(test::LiveEngineStrings(), 0) << "engine strings not freed"; }

  // Delivers `message` to `client` as the engine does; checks every reference came back.
  static int DeliverTo(cef_client_t* client, FakeMessage* message) {
    std::unique_ptr<test::FakeBrowser> browser(test::NewBrowser());
    std::unique_ptr<test::FakeFrame> frame(test::NewFrame(true));
    ++message->refs;
    const int handled = client->on_process_message_received(
        client, test::Pass(browser.get()), test::Pass(frame.get()), PID_RENDERER, &message->cef);
    EXPECT_EQ(browser->refs, 0) << "browser argument not released";
    EXPECT_EQ(frame->refs, 0) << "frame argument not released";
    EXPECT_EQ(message->refs, 0) << "message argument not released";
    EXPECT_EQ(message->list.refs, 0) << "argument list not released";
    return handled;
  }
  static int Deliver(std::uint32_t id, FakeMessage* message) { return DeliverTo(&surfaces[id].client, message); }
};

TEST_F(PageInvokeTest, CallsBecomePageMessagesOfTheirSurface) {
  struct Case {
    std::string name, payload, text;
  } cases[] = {
      {"buy", "[\"sword\",3]", std::string("NIMOMP|invoke|buy\x01\x02s[\"sword\",3]")},
      {"save", "", std::string("NIMOMP|invoke|save\x01\x02s")},
      // Bytes the grammar uses are passed through as the page wrote them.
      {"a|b", "x\x01\x02sy|z", std::string("NIMOMP|invoke|a|b\x01\x02sx\x01\x02sy|z")},
      {"\xC3\xA4\xE2\x82\xAC", "\xF0\x9D\x84\x9E", std::string("NIMOMP|invoke|\xC3\xA4\xE2\x82\xAC\x01\x02s\xF0\x9D\x84\x9E")},
      {"big", std::string(70000, 'p'), std::string("NIMOMP|invoke|big\x01\x02s") + std::string(70000, 'p')},
  };
  std::uint32_t id = 0;
  for (const Case& c : cases) {
    std::unique_ptr<FakeMessage> m = NewMessage("mp:invoke", {S(c.name), S(c.payload)});
    EXPECT_EQ(Deliver(id, m.get()), 1);
    Report r;
    ASSERT_TRUE(test::NextBridgeReport(&r)) << c.name;
    EXPECT_EQ(r.type, kMsgPageMessage);
    EXPECT_EQ(r.surface_id(), id);
    EXPECT_EQ(r.param(1), 0u);
    EXPECT_EQ(r.param(2), 0u);
    EXPECT_EQ(r.param(3), 0u);
    EXPECT_EQ(r.text(), c.text) << c.name;
    id = (id + 1) % kSurfaceCount;
  }
}

TEST_F(PageInvokeTest, MissingOrNonStringPayloadIsEmpty) {
  std::unique_ptr<FakeMessage> one = NewMessage("mp:invoke", {S("ping")});
  EXPECT_EQ(Deliver(3, one.get()), 1);
  std::unique_ptr<FakeMessage> typed = NewMessage("mp:invoke", {S("ping"), {VTYPE_INT, "5"}});
  EXPECT_EQ(Deliver(3, typed.get()), 1);
  for (int i = 0; i < 2; ++i) {
    Report r;
    ASSERT_TRUE(test::NextBridgeReport(&r));
    EXPECT_EQ(r.text(), std::string("NIMOMP|invoke|ping\x01\x02s"));
    EXPECT_EQ(r.surface_id(), 3u);
  }
}

TEST_F(PageInvokeTest, CallsWithoutANameAreTakenButNotReported) {
  std::vector<std::unique_ptr<FakeMessage>> bad;
  bad.push_back(NewMessage("mp:invoke", {}));
  bad.push_back(NewMessage("mp:invoke", {S(""), S("x")}));
  bad.push_back(NewMessage("mp:invoke", {{VTYPE_INT, "1"}, S("x")}));
  bad.push_back(NewMessage("mp:invoke", {{VTYPE_NULL, ""}}));
  bad.push_back(NewMessage("mp:invoke", {S("x")}));
  bad.back()->has_list = false;
  for (auto& m : bad) EXPECT_EQ(Deliver(1, m.get()), 1) << "an mp:invoke is ours even when malformed";
  EXPECT_TRUE(test::NothingSentBefore("page-invoke-malformed"));
}

TEST_F(PageInvokeTest, OtherMessagesAreLeftToTheEngine) {
  for (const char* name : {"mp:invokeX", "MP:INVOKE", "mp:invok", "", "mp:send", " mp:invoke"}) {
    std::unique_ptr<FakeMessage> m = NewMessage(name, {S("buy"), S("{}")});
    EXPECT_EQ(Deliver(0, m.get()), 0) << name;
    EXPECT_EQ(m->list_requests, 0) << "arguments of a foreign message read: " << name;
  }
  EXPECT_TRUE(test::NothingSentBefore("page-invoke-foreign"));
}

TEST_F(PageInvokeTest, AClientOutsideTheTableReportsNothing) {
  cef_client_t stray = {};
  stray.base.size = sizeof stray;
  InstallProcessMessageReceiver(&stray);
  std::unique_ptr<FakeMessage> m = NewMessage("mp:invoke", {S("buy"), S("{}")});
  EXPECT_EQ(DeliverTo(&stray, m.get()), 1);
  EXPECT_TRUE(test::NothingSentBefore("page-invoke-stray"));
}

}  // namespace
}  // namespace nimo
