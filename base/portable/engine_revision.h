// Describes the engine revision the loaded library reports, for the browser process's log,
// and flags a library whose API hash is not the one this program's layouts were taken from
// (running against another revision is the classic cause of random crashes).
// Pure function; any thread.
#pragma once
#include <string>

namespace nimo {

// Whether cef_api_hash(0) may be asked at all: later revisions give that export another
// signature whose first call fixes the process's API version, so it is only called when
// the library says it is of this program's major version (or cannot say).
bool ShouldQueryApiHash(const int* version, bool hash_exported);

// `version`: the eight cef_version_info entries, or null when that export is missing.
// `hash_queried`: whether cef_api_hash(0) was called; `hash`: what it returned (may be
// null). Returns zero or more complete log lines, each ending in "\n".
std::string DescribeEngineRevision(const int* version, bool hash_queried, const char* hash);

}  // namespace nimo
