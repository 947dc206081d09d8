// The page's calls of protocol 3 (window.mp.call): the two messages on the wire, the call's
// JSON, the console line the page writes, the script that settles a promise, the book of
// pending calls, and the origins that may talk to the game.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/portable/page_calls.h"
#include "bridge/portable/page_origin.h"
#include "bridge/portable/page_script_env.h"
#include "client/nimo_protocol.h"

namespace {

using namespace nimo;
namespace p = nimo::protocol;

TEST(PageCallWire, ReportAndAnswerRoundTripAndTheAnswerIsVersion3Only) {
  const std::string json = R"({"name":"add","args":[2,3],"origin":"https://nimo.localhost"})";
  const std::vector<std::uint8_t> payload = EncodePageCall(2, 7, json);
  const p::Bytes frame = p::Frame(kMsgPageCall, payload.data(), payload.size());
  p::Report report;
  ASSERT_EQ(p::DecodeReport(frame.data(), frame.size(), &report), p::DecodeStatus::kOk);
  EXPECT_EQ(report.type, kMsgPageCall);
  EXPECT_EQ(report.surface_id, 2u);
  EXPECT_EQ(report.call_id, 7u);
  EXPECT_EQ(report.text, json);
  EXPECT_STREQ(p::ReportName(kMsgPageCall), "PageCall");
  EXPECT_FALSE(ReportAllowed(kMsgPageCall, 2));
  EXPECT_TRUE(ReportAllowed(kMsgPageCall, 3));

  const p::Bytes answer = p::ResolveCall(2, 7, kCallReject, "\"no\"");
  const ReceivedFrame received = ValidateReceived(ReadStatus::kComplete, answer.data(), answer.size());
  ASSERT_EQ(received.outcome, ReceiveOutcome::kOk);
  EXPECT_EQ(DecodeCommand(received, 2).action, CommandAction::kIgnore);  // version 2 never acts on it
  const DecodedCommand command = DecodeCommand(received, 3);
  ASSERT_EQ(command.action, CommandAction::kVersion3);
  CallMessage m;
  ASSERT_TRUE(DecodeResolveCall(command.payload, command.length, &m));
  EXPECT_EQ(m.surface_id, 2u);
  EXPECT_EQ(m.call_id, 7u);
  EXPECT_EQ(m.status, kCallReject);
  EXPECT_EQ(m.json, "\"no\"");

  // No call has id 0, a status is resolve or reject, a payload has its head.
  const std::vector<std::uint8_t> id0 = EncodeResolveCall(0, 0, 0, "1");
  const std::vector<std::uint8_t> status2 = EncodeResolveCall(0, 1, 2, "1");
  EXPECT_FALSE(DecodeResolveCall(id0.data(), id0.size(), &m));
  EXPECT_FALSE(DecodeResolveCall(status2.data(), status2.size(), &m));
  EXPECT_FALSE(DecodeResolveCall(status2.data(), kSurfaceHeadSize - 1, &m));
  // The largest JSON fits exactly; one byte more is never built.
  EXPECT_EQ(p::ResolveCall(0, 1, 0, std::string(MaxCallJsonBytes(), '1')).size(), kMaxFrameSize);
  EXPECT_TRUE(p::ResolveCall(0, 1, 0, std::string(MaxCallJsonBytes() + 1, '1')).empty());
  EXPECT_TRUE(EncodePageCall(0, 1, std::string(MaxCallJsonBytes() + 1, '1')).empty());
}

TEST(PageCallJson, OnlyTheExactShapeParsesAndStringsAreDecoded) {
  CallFields f;
  ASSERT_TRUE(ParseCallFields(R"({"name":"a\"b\u00e9\ud83d\ude00","args":[1,{"x":[true,null]},"s"],"origin":"https://h"})", &f));
  EXPECT_EQ(f.name, "a\"b\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(f.args_json, R"([1,{"x":[true,null]},"s"])");
  EXPECT_TRUE(f.has_origin);
  EXPECT_EQ(f.origin, "https://h");
  ASSERT_TRUE(ParseCallFields(R"({"name":"n","args":[]})", &f));
  EXPECT_FALSE(f.has_origin);
  ASSERT_TRUE(ParseCallFields(R"({"name":"\udc00","args":[-1.5e+3]})", &f));
  EXPECT_EQ(f.name, "\xEF\xBF\xBD");  // a lone surrogate is a replacement character
  for (const char* bad : {
           R"({"args":[],"name":"n"})",                                  // other order
           R"({"name":"n","args":[],"origin":"a","origin":"b"})",       // a member twice
           R"({"name":"n","args":[],"extra":1})",                      // another member
           R"({"name":1,"args":[]})",                                   // a name that is no string
           R"({"name":"n","args":{}})",                                 // arguments that are no array
           R"({"name":"n","args":[01x]})",                              // not JSON
           R"({"name":"n","args":[]} x)",                               // text after the object
           R"({"name":"n","args":["unclosed]})",
           R"({"name":"a\q","args":[]})",                               // unknown escape
       }) {
    EXPECT_FALSE(ParseCallFields(bad, &f)) << bad;
  }
  EXPECT_FALSE(ParseCallFields("{\"name\":\"n\",\"args\":" + std::string(300, '[') + std::string(300, ']') + "}", &f));
}

TEST(PageCallLine, ThePageNamesTheCallAndTheEngineAloneNamesTheOrigin) {
  std::string_view token, body;
  const std::string line = R"(NIMOCALL|k2x9.14|{"name":"add","args":[2,3]})";
  ASSERT_TRUE(ParseCallLine(line, &token, &body));
  EXPECT_EQ(token, "k2x9.14");
  const std::string json = CallJson(body, "https://nimo.localhost");
  EXPECT_EQ(json, R"({"name":"add","args":[2,3],"origin":"https://nimo.localhost"})");
  // A page that writes an origin itself, or anything but a name and arguments, is not a call.
  EXPECT_FALSE(ParseCallLine(R"(NIMOCALL|a.1|{"name":"x","args":[],"origin":"https://nimo.localhost"})", &token, &body));
  EXPECT_FALSE(ParseCallLine(R"(NIMOCALL|a.1|{"name":"x","args":[]}})", &token, &body));
  EXPECT_FALSE(ParseCallLine(R"(NIMOCALL|a b|{"name":"x","args":[]})", &token, &body));          // token
  EXPECT_FALSE(ParseCallLine(R"(NIMOCALL||{"name":"x","args":[]})", &token, &body));
  EXPECT_FALSE(ParseCallLine("NIMOCALL|" + std::string(65, 'a') + R"(|{"name":"x","args":[]})", &token, &body));
  EXPECT_FALSE(ParseCallLine(R"(nimocall|a.1|{"name":"x","args":[]})", &token, &body));

  // The answer reaches the page as string literals: client text never becomes script.
  const std::string script = SettleScript("a.1", kCallResolve, "1);alert(\"x\")\xE2\x80\xA8//\\");
  EXPECT_EQ(script, "window.__mpSettle&&window.__mpSettle(\"a.1\",0,\"1);alert(\\\"x\\\")\\u2028//\\\\\");");
  EXPECT_EQ(SettleScript("a.1", kCallReject, "\"no\"\n"),
            "window.__mpSettle&&window.__mpSettle(\"a.1\",1,\"\\\"no\\\"\\u000a\");");
}

TEST(PageCallBook, IdsCountFromOneForTheSurfacesLifeAndEachAnswerCountsOnce) {
  CallBook book;
  EXPECT_EQ(book.Begin("a.1"), 1u);
  EXPECT_EQ(book.Begin("a.2"), 2u);
  std::string token;
  EXPECT_TRUE(book.Finish(2, &token));
  EXPECT_EQ(token, "a.2");
  EXPECT_FALSE(book.Finish(2, &token));   // finished
  EXPECT_FALSE(book.Finish(99, &token));  // unknown
  book.Forget();                          // the document went away
  EXPECT_FALSE(book.Finish(1, &token));
  EXPECT_EQ(book.pending(), 0u);
  EXPECT_EQ(book.Begin("b.1"), 3u);  // a new document's call never takes an old id
  for (std::size_t i = book.pending(); i < kMaxPendingCalls; ++i) ASSERT_NE(book.Begin("c"), 0u);
  EXPECT_EQ(book.Begin("c"), 0u);  // too many waiting: refused, nothing booked
  EXPECT_EQ(book.pending(), kMaxPendingCalls);
}

TEST(PageOrigins, OriginsNormaliseAndOnlyListedOnesTalkWhenAListIsGiven) {
  EXPECT_EQ(OriginOf("https://nimo.localhost/index.html?x#y"), "https://nimo.localhost");
  EXPECT_EQ(OriginOf("HTTPS://Nimo.LocalHost:443/"), "https://nimo.localhost");
  EXPECT_EQ(OriginOf("http://user:pw@example.org:8080/a"), "http://example.org:8080");
  EXPECT_EQ(OriginOf("http://example.org:80"), "http://example.org");
  EXPECT_EQ(OriginOf("http://[::1]:9000/"), "http://[::1]:9000");
  EXPECT_EQ(OriginOf("file:///C:/game/ui/index.html"), "file://");
  EXPECT_EQ(OriginOf("data:text/html,<p>"), "null");
  EXPECT_EQ(OriginOf("about:blank"), "null");
  EXPECT_EQ(OriginOf("https://"), "null");
  EXPECT_EQ(OriginOf("https://h:8x/"), "null");

  const OriginFilter none = ParseOriginFilter("");
  EXPECT_FALSE(none.active);
  EXPECT_TRUE(OriginAllowed(none, "https://example.org"));
  const OriginFilter listed = ParseOriginFilter(" https://nimo.localhost/ , HTTP://Game.example:8080,about:blank");
  EXPECT_TRUE(listed.active);
  EXPECT_EQ(listed.origins, (std::vector<std::string>{"https://nimo.localhost", "http://game.example:8080"}));
  EXPECT_TRUE(OriginAllowed(listed, "https://nimo.localhost"));
  EXPECT_FALSE(OriginAllowed(listed, "https://example.org"));
  EXPECT_FALSE(OriginAllowed(listed, "null"));
  EXPECT_FALSE(OriginAllowed(listed, "file://"));
  // A list of nothing usable lets nobody in rather than everybody.
  const OriginFilter unusable = ParseOriginFilter("about:blank,,");
  EXPECT_TRUE(unusable.active);
  EXPECT_FALSE(OriginAllowed(unusable, "https://nimo.localhost"));

  // What the renderers are told, and the script they run for it.
  EXPECT_EQ(PageScriptEnvValue(none), "*");
  EXPECT_EQ(PageScriptEnvValue(listed), "=https://nimo.localhost,http://game.example:8080");
  EXPECT_EQ(EarlyPageScript("*", "S"), "S");
  EXPECT_EQ(EarlyPageScript("=https://a,https://b", "S"),
            "(function () {\nif ([\"https://a\",\"https://b\"].indexOf(location.origin) < 0) return;\nS\n})();");
  EXPECT_EQ(EarlyPageScript("=", "S"), "(function () {\nif ([].indexOf(location.origin) < 0) return;\nS\n})();");
  EXPECT_EQ(EarlyPageScript("1", "S"), "");
}

}  // namespace
