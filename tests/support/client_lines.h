// The reference client's output as the tests read it: one JSON object per line, either a
// report ({"report": name, ...}) or an event of the tool's own ({"event": name, ...}).
// Header-only, because only the tests built with the client's JSON library use it.
//
// Threads: one test thread.
#pragma once
#include <gtest/gtest.h>

#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace nimo {
namespace test {

struct ClientLines {
  std::vector<nlohmann::json> lines;

  // Every line must be JSON; one that is not fails the test and is skipped.
  void Parse(std::istream& in) {
    std::string line;
    while (std::getline(in, line)) {
      nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
      EXPECT_FALSE(j.is_discarded()) << "not a JSON line: " << line;
      if (!j.is_discarded()) lines.push_back(j);
    }
  }
  std::vector<nlohmann::json> Reports(const std::string& name) const {
    std::vector<nlohmann::json> out;
    for (const nlohmann::json& j : lines)
      if (j.value("report", "") == name) out.push_back(j);
    return out;
  }
  // The first event of that name, or null.
  nlohmann::json Event(const std::string& name) const {
    for (const nlohmann::json& j : lines)
      if (j.value("event", "") == name) return j;
    return nlohmann::json();
  }
};

}  // namespace test
}  // namespace nimo
