// The scenario: scripted behaviour read from the text file named by the environment
// variable NIMO_STANDIN_SCENARIO (an empty scenario when unset). Grammar in README.md:
// one directive per line, `keyword positional... key=value key="text"`, `#` comments,
// and blocks `page <url-pattern>` ... `end` and `renderer` ... `end` holding actions.
//
// Threads: loaded once under a lock on first use; read-only afterwards, any thread.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace standin {

struct Directive {
  int line = 0;
  std::string keyword;
  std::vector<std::string> positional;
  std::map<std::string, std::string> named;

  bool Has(const std::string& key) const { return named.count(key) != 0; }
  std::string Get(const std::string& key, const std::string& fallback = std::string()) const;
  long long Int(const std::string& key, long long fallback) const;
  double Real(const std::string& key, double fallback) const;
  // Positional argument `index` as a number, or `fallback`.
  long long At(std::size_t index, long long fallback) const;
};

struct ActionBlock {
  std::string pattern;  // exact URL, "prefix*", or "*"
  std::vector<Directive> actions;
  bool Matches(const std::string& url) const;
};

struct Scenario {
  std::vector<Directive> globals;
  std::vector<ActionBlock> pages;
  std::vector<Directive> renderer;

  // The first global directive with this keyword, or null.
  const Directive* Global(const std::string& keyword) const;
  // The global directives with this keyword, in file order.
  std::vector<const Directive*> Globals(const std::string& keyword) const;
  // The first page block whose pattern matches, or null.
  const ActionBlock* PageFor(const std::string& url) const;
};

// Parses scenario text; every line it cannot use is listed in `errors` ("line N: text").
Scenario ParseScenario(const std::string& text, std::vector<std::string>* errors);

// Decodes a quoted scenario or journal text (without the quotes): \\ \" \n \r \t \xHH
// \u{H...}.
std::string UnescapeText(const std::string& body);

// The process's scenario, loaded on first use (parse errors are journaled then).
const Scenario& CurrentScenario();
void ReloadScenario();

}  // namespace standin
