#include "client/report_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace nimo {
namespace client {
namespace {

namespace p = protocol;
using nlohmann::json;

json Line(const p::Bytes& frame) {
  p::Report r;
  EXPECT_EQ(p::DecodeReport(frame.data(), frame.size(), &r), p::DecodeStatus::kOk);
  const std::string line = ReportToJson(r);
  EXPECT_EQ(line.find('\n'), std::string::npos) << "one report, one line";
  return json::parse(line);
}

p::Bytes HeadReport(std::uint16_t type, std::uint32_t surface, std::uint32_t p1, std::uint32_t p2,
                    const std::string& text) {
  // Reports share the command head layout, so the SDK's builder makes them too.
  return p::HeadCommand(type, surface, p1, p2, 0, text);
}

TEST(ReportJson, EveryReportKind) {
  std::uint8_t hello[8] = {2, 0, 0, 0, 0x34, 0x12, 0, 0};
  json j = Line(p::Frame(nimo::kMsgHello, hello, 8));
  EXPECT_EQ(j["report"], "Hello");
  EXPECT_EQ(j["version"], 2);
  EXPECT_EQ(j["pid"], 4660);

  std::uint8_t fr[24] = {1, 0, 0, 0, 0x00, 0x05, 0, 0, 0xD0, 0x02, 0, 0, 1, 0, 0, 0, 0x88, 0x77, 0, 0, 0, 0, 0, 0};
  j = Line(p::Frame(nimo::kMsgFrameReady, fr, 24));
  EXPECT_EQ(j["surface"], 1);
  EXPECT_EQ(j["width"], 1280);
  EXPECT_EQ(j["height"], 720);
  EXPECT_EQ(j["handle"], 0x7788);

  j = Line(HeadReport(nimo::kMsgLoadEvent, 2, 2, static_cast<std::uint32_t>(-105), "http://x/"));
  EXPECT_EQ(j["kind"], 2);
  EXPECT_EQ(j["error"], -105);
  EXPECT_EQ(j["url"], "http://x/");
  j = Line(HeadReport(nimo::kMsgLoadEvent, 2, 0, 0, ""));
  EXPECT_FALSE(j.contains("url"));

  j = Line(HeadReport(nimo::kMsgConsoleLine, 3, 0, 0, "WARN|hello  (file:///C:/ui/app.js:12)"));
  EXPECT_EQ(j["text"], "WARN|hello  (file:///C:/ui/app.js:12)");
}

TEST(ReportJson, PageMessagesAreDecoded) {
  const std::string text = "NIMOMP|invoke|buy\x01\x02ssword\x01\x02n3\x01\x02" "b1\x01\x02z\x01\x02o[1,2]\x01\x02ounde"
                           "fined";
  const json j = Line(HeadReport(nimo::kMsgPageMessage, 1, 0, 0, text));
  EXPECT_EQ(j["kind"], "invoke");
  EXPECT_EQ(j["name"], "buy");
  EXPECT_EQ(j["args"], json::parse(R"(["sword", 3, true, null, [1,2], {"unparsed":"undefined"}])"));
  EXPECT_TRUE(j["args"][1].is_number_integer()) << "3, not 3.0";
  EXPECT_FALSE(j.contains("well_formed"));

  const json bare = Line(HeadReport(nimo::kMsgPageMessage, 1, 0, 0, "NIMOMP|"));
  EXPECT_EQ(bare["text"], "NIMOMP|") << "no kind: printed raw";
}

TEST(ReportJson, InvalidUtf8DoesNotBreakTheLine) {
  const json j = Line(HeadReport(nimo::kMsgConsoleLine, 0, 0, 0, std::string("log|a\xff" "b\"", 8)));
  EXPECT_EQ(j["text"], "log|a\xEF\xBF\xBD" "b\"");
}

}  // namespace
}  // namespace client
}  // namespace nimo
