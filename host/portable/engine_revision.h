// Describes the engine revision the loaded library reports, for the browser process's log,
// and flags a library whose API hash is not the one this program's layouts were taken from
// (running against another revision is the classic cause of random crashes).
// Pure function; any thread.
#pragma once
#include <string>

namespace nimo {

// `version`: the eight cef_version_info entries, or null when that export is missing.
// `hash_exported`: whether cef_api_hash exists; `hash`: what cef_api_hash(0) returned (may
// be null). Returns zero or more complete log lines, each ending in "\n".
std::string DescribeEngineRevision(const int* version, bool hash_exported, const char* hash);

}  // namespace nimo
