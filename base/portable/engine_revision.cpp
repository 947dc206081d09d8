#include "base/portable/engine_revision.h"

#include <cstdio>
#include <cstring>

#include "base/portable/engine_abi.h"

namespace nimo {
namespace {

// The library owns the hash text and we cannot know its length: never read more than a
// hash could hold, and keep only printable characters so the log stays one line.
std::string SafeHashText(const char* hash) {
  if (hash == nullptr) return "(null)";
  std::string text;
  for (size_t i = 0; i < 64 && hash[i] != '\0'; ++i) {
    const char c = hash[i];
    text.push_back(c >= 0x21 && c <= 0x7E ? c : '?');
  }
  return text;
}

}  // namespace

bool ShouldQueryApiHash(const int* version, bool hash_exported) {
  return hash_exported && (version == nullptr || version[0] == NIMO_ENGINE_VERSION_MAJOR);
}

std::string DescribeEngineRevision(const int* version, bool hash_queried, const char* hash) {
  std::string lines;
  char buffer[256];
  if (version != nullptr) {
    std::snprintf(buffer, sizeof buffer,
                  "[nimo-webengine][browser] engine version %d.%d.%d (commit %d) chromium "
                  "%d.%d.%d.%d\n",
                  version[0], version[1], version[2], version[3], version[4], version[5],
                  version[6], version[7]);
    lines += buffer;
    if (version[0] != NIMO_ENGINE_VERSION_MAJOR) {
      std::snprintf(buffer, sizeof buffer,
                    "[nimo-webengine][browser] WARNING engine version %d is not %d: the "
                    "library is another engine revision than this program was built for\n",
                    version[0], NIMO_ENGINE_VERSION_MAJOR);
      lines += buffer;
    }
  }
  if (!hash_queried) return lines;
  const std::string text = SafeHashText(hash);
  std::snprintf(buffer, sizeof buffer, "[nimo-webengine][browser] engine api hash %s\n",
                text.c_str());
  lines += buffer;
  if (hash == nullptr || std::strcmp(text.c_str(), NIMO_ENGINE_API_HASH_PLATFORM) != 0) {
    std::snprintf(buffer, sizeof buffer,
                  "[nimo-webengine][browser] WARNING engine api hash %s is not %s: the "
                  "library is another engine revision than this program was built for\n",
                  text.c_str(), NIMO_ENGINE_API_HASH_PLATFORM);
    lines += buffer;
  }
  return lines;
}

}  // namespace nimo
