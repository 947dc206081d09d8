#include "testbed/engine/scenario.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <vector>

#include "testbed/engine/journal.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/strings.h"

namespace standin {
namespace {

std::mutex scenario_lock;
Scenario* loaded = nullptr;

void AppendCodePoint(std::string* out, unsigned long cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Splits a line into tokens; a double-quoted part (inside a token or as a whole token)
// keeps its spaces and its escapes are decoded. Returns false on an unclosed quote.
bool Tokenize(const std::string& line, std::vector<std::string>* tokens) {
  std::size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= n || line[i] == '#') break;
    std::string token;
    while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
      if (line[i] == '"') {
        std::size_t j = i + 1;
        std::string body;
        while (j < n && line[j] != '"') {
          if (line[j] == '\\' && j + 1 < n) {
            body += line[j];
            ++j;
          }
          body += line[j];
          ++j;
        }
        if (j >= n) return false;
        token += UnescapeText(body);
        i = j + 1;
      } else {
        token += line[i];
        ++i;
      }
    }
    tokens->push_back(token);
  }
  return true;
}

Directive MakeDirective(int line_number, const std::vector<std::string>& tokens) {
  Directive d;
  d.line = line_number;
  d.keyword = tokens[0];
  for (std::size_t k = 1; k < tokens.size(); ++k) {
    const std::string& t = tokens[k];
    std::size_t eq = t.find('=');
    // key=value only when the key is a plain word; anything else is positional.
    bool named = eq != std::string::npos && eq > 0;
    for (std::size_t c = 0; named && c < eq; ++c) {
      char ch = t[c];
      named = (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_';
    }
    if (named) {
      d.named[t.substr(0, eq)] = t.substr(eq + 1);
    } else {
      d.positional.push_back(t);
    }
  }
  return d;
}

}  // namespace

std::string Directive::Get(const std::string& key, const std::string& fallback) const {
  auto it = named.find(key);
  return it == named.end() ? fallback : it->second;
}

long long Directive::Int(const std::string& key, long long fallback) const {
  auto it = named.find(key);
  if (it == named.end() || it->second.empty()) return fallback;
  return std::strtoll(it->second.c_str(), nullptr, 0);
}

double Directive::Real(const std::string& key, double fallback) const {
  auto it = named.find(key);
  if (it == named.end() || it->second.empty()) return fallback;
  return std::strtod(it->second.c_str(), nullptr);
}

long long Directive::At(std::size_t index, long long fallback) const {
  if (index >= positional.size() || positional[index].empty()) return fallback;
  return std::strtoll(positional[index].c_str(), nullptr, 0);
}

bool ActionBlock::Matches(const std::string& url) const {
  if (pattern == "*") return true;
  if (!pattern.empty() && pattern.back() == '*') return url.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
  return url == pattern;
}

const Directive* Scenario::Global(const std::string& keyword) const {
  for (const Directive& d : globals) {
    if (d.keyword == keyword) return &d;
  }
  return nullptr;
}

std::vector<const Directive*> Scenario::Globals(const std::string& keyword) const {
  std::vector<const Directive*> found;
  for (const Directive& d : globals) {
    if (d.keyword == keyword) found.push_back(&d);
  }
  return found;
}

const ActionBlock* Scenario::PageFor(const std::string& url) const {
  for (const ActionBlock& page : pages) {
    if (page.Matches(url)) return &page;
  }
  return nullptr;
}

std::string UnescapeText(const std::string& body) {
  std::string out;
  for (std::size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c != '\\' || i + 1 >= body.size()) {
      out += c;
      continue;
    }
    char e = body[++i];
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x':
        if (i + 2 < body.size()) {
          out += static_cast<char>(std::strtoul(body.substr(i + 1, 2).c_str(), nullptr, 16));
          i += 2;
        }
        break;
      case 'u': {
        std::size_t close = body.find('}', i);
        if (i + 1 < body.size() && body[i + 1] == '{' && close != std::string::npos) {
          AppendCodePoint(&out, std::strtoul(body.substr(i + 2, close - i - 2).c_str(), nullptr, 16));
          i = close;
        } else {
          out += e;
        }
        break;
      }
      default: out += e; break;
    }
  }
  return out;
}

Scenario ParseScenario(const std::string& text, std::vector<std::string>* errors) {
  Scenario scenario;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  std::vector<Directive>* block = nullptr;
  while (std::getline(in, line)) {
    ++number;
    std::vector<std::string> tokens;
    if (!Tokenize(line, &tokens)) {
      errors->push_back("line " + std::to_string(number) + ": unclosed quote");
      continue;
    }
    if (tokens.empty()) continue;
    Directive d = MakeDirective(number, tokens);
    if (d.keyword == "end") {
      if (!block) errors->push_back("line " + std::to_string(number) + ": end without a block");
      block = nullptr;
    } else if (block) {
      block->push_back(d);
    } else if (d.keyword == "page") {
      ActionBlock page;
      page.pattern = d.positional.empty() ? "*" : d.positional[0];
      scenario.pages.push_back(page);
      block = &scenario.pages.back().actions;
    } else if (d.keyword == "renderer") {
      block = &scenario.renderer;
    } else {
      scenario.globals.push_back(d);
    }
  }
  if (block) errors->push_back("line " + std::to_string(number) + ": block not closed with end");
  return scenario;
}

void ReloadScenario() {
  std::string text;
  // Wide calls: the scenario may lie in a folder whose name no code page holds.
  std::vector<wchar_t> path(32768, L'\0');
  const DWORD got = GetEnvironmentVariableW(L"NIMO_STANDIN_SCENARIO", path.data(), static_cast<DWORD>(path.size()));
  if (got > 0 && got < path.size()) {
    if (FILE* file = _wfopen(path.data(), L"rb")) {
      char buffer[4096];
      std::size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
      std::fclose(file);
    } else {
      Event("scenario.error").Text("file", WideToUtf8(path.data())).Text("error", "cannot open");
    }
  }
  std::vector<std::string> errors;
  Scenario* parsed = new Scenario(ParseScenario(text, &errors));
  std::vector<std::string> quiet;
  for (const Directive* d : parsed->Globals("quiet")) quiet.insert(quiet.end(), d->positional.begin(), d->positional.end());
  if (!quiet.empty()) SetQuietPrefixes(quiet);
  if (const Directive* d = parsed->Global("quarantine")) SetQuarantineLimit(static_cast<std::size_t>(d->At(0, 50000)));
  for (const std::string& e : errors) Event("scenario.error").Text("error", e);
  std::lock_guard<std::mutex> hold(scenario_lock);
  loaded = parsed;  // an earlier one stays allocated: readers may still hold it
}

const Scenario& CurrentScenario() {
  {
    std::lock_guard<std::mutex> hold(scenario_lock);
    if (loaded) return *loaded;
  }
  ReloadScenario();
  std::lock_guard<std::mutex> hold(scenario_lock);
  return *loaded;
}

}  // namespace standin
