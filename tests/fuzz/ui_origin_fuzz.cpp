// A request URL of the UI origin, decided into a file below the folder: whatever the
// bytes, a served path is a plain relative path that cannot leave the folder on Windows;
// the same bytes as a Range header give a range inside the file.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "surfaces/portable/ui_origin.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nimo;

namespace {

void CheckServed(const UiPath& p) {
  FUZZ_CHECK(p.verdict == UiPathVerdict::kServe);
  const std::string& r = p.relative;
  FUZZ_CHECK(!r.empty() && r.size() <= kUiMaxPathBytes);
  FUZZ_CHECK(r.front() != '/' && r.back() != '/');
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = r.find('/', start);
    const std::string_view segment = std::string_view(r).substr(start, slash - start);
    FUZZ_CHECK(!segment.empty() && segment.size() <= kUiMaxNameBytes);
    FUZZ_CHECK(segment.back() != '.' && segment.back() != ' ');  // no ".", "..", no Windows renaming
    for (unsigned char c : segment) {
      FUZZ_CHECK(c >= 0x20 && c != 0x7F && std::strchr("\\:*?\"<>|", c) == nullptr);
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The bytes as a whole URL, and as the part after the origin.
  const UiPath whole = DecideUiPath(input);
  if (!IsUiOriginUrl(input)) FUZZ_CHECK(whole.verdict == UiPathVerdict::kBadRequest);
  if (whole.verdict == UiPathVerdict::kServe) CheckServed(whole);
  const std::string url = std::string(kUiOrigin) + std::string(input);
  const UiPath after = DecideUiPath(url);
  if (after.verdict == UiPathVerdict::kServe) {
    CheckServed(after);
    // Served paths are stable: the relative path written back under the origin (escaping
    // only '%', '?' and '#') names the same file.
    std::string again = std::string(kUiOrigin) + "/";
    for (char c : after.relative) {
      if (c == '%') again += "%25"; else if (c == '?') again += "%3F"; else if (c == '#') again += "%23"; else again += c;
    }
    const UiPath back = DecideUiPath(again);
    FUZZ_CHECK(back.verdict == UiPathVerdict::kServe && back.relative == after.relative);
  } else {
    FUZZ_CHECK(after.relative.empty() && after.reason[0] != '\0');
  }

  // The bytes as a Range header against a size taken from the first eight.
  std::uint64_t file_size = 0;
  std::memcpy(&file_size, data, size < 8 ? size : 8);
  file_size %= (std::uint64_t{1} << 40);
  const UiRange range = ParseUiRange(input, file_size);
  if (range.verdict == UiRangeVerdict::kPartial) {
    FUZZ_CHECK(range.first <= range.last && range.last < file_size);
    // The same header against a file that ends exactly where the range did, or one byte
    // before: the range is cut to the file, or refused, never past its end.
    for (std::uint64_t smaller : {range.last + 1, range.last}) {
      const UiRange cut = ParseUiRange(input, smaller);
      if (cut.verdict == UiRangeVerdict::kPartial) FUZZ_CHECK(cut.first <= cut.last && cut.last < smaller);
    }
  }

  // The bytes as a path and a folder (split at the first NUL): a path judged inside the
  // folder is the folder, then one separator, then a name.
  const std::size_t nul = input.find('\0');
  if (nul != std::string_view::npos) {
    const std::u16string folder(input.begin(), input.begin() + nul), path(input.begin() + nul + 1, input.end());
    if (InsideFolder(path, folder)) {
      auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
      std::size_t n = folder.size();
      while (n > 0 && separator(folder[n - 1])) --n;
      FUZZ_CHECK(n > 0 && path.size() > n + 1 && separator(path[n]) && !separator(path[n + 1]));
      for (std::size_t i = 0; i < n; ++i) {
        const char16_t a = path[i] | 0x20, b = folder[i] | 0x20;
        FUZZ_CHECK(a == b || (separator(path[i]) && separator(folder[i])));
      }
    }
  }
  (void)LoggableUrl(input);
  return 0;
}
