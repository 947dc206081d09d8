// A page URL recorded, then a resource URL rewritten; the holder and the pure functions
// must agree, and a rewritten URL is never rewritten again.
#include <cstdint>
#include <string>
#include <string_view>

#include "surfaces/portable/asset_policy.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nimo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Page URL and request URL are separated by the first newline.
  const std::size_t cut = input.find('\n');
  const std::string_view page_url = input.substr(0, cut);
  const std::string_view request = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

  for (std::uint32_t id = 0; id < 5; ++id) {
    const NavigationDecision d = DecideNavigation(id, page_url);
    if (id == kUnrestrictedSurfaceId) FUZZ_CHECK(d.allow);
    if (d.record_page) FUZZ_CHECK(d.allow && page_url.substr(0, 7) == "file://");
    FUZZ_CHECK(d.allow == DecideNavigation(0, page_url).allow || id == kUnrestrictedSurfaceId);
  }

  PageLocation page;
  const bool named = PageLocationFromUrl(page_url, &page);
  PageLocationHolder holder;
  holder.Record(page_url);
  const PageLocation held = holder.Current();
  FUZZ_CHECK(held.directory == (named ? page.directory : std::string()));
  FUZZ_CHECK(held.drive == (named ? page.drive : std::string()));
  if (named) {
    FUZZ_CHECK(page_url.substr(8, page.directory.size()) == page.directory);
    FUZZ_CHECK(page.directory.substr(0, page.drive.size()) == page.drive);
    FUZZ_CHECK(page.drive.empty() || page.drive.back() == ':');
    FUZZ_CHECK(page.drive.find(':') == page.drive.size() - 1 || page.drive.empty());
  }

  const std::string rewritten = holder.Rewrite(request);
  FUZZ_CHECK(rewritten == RewriteAssetUrlFor(held, request));
  if (!rewritten.empty()) {
    const std::string prefix = "file:///" + held.directory + "/";
    FUZZ_CHECK(rewritten.compare(0, prefix.size(), prefix) == 0);
    FUZZ_CHECK(request.substr(0, 8) == "file:///");
    // The rest after the drive is carried over byte for byte.
    const std::string_view rest = request.substr(8 + held.drive.size() + 1);
    FUZZ_CHECK(std::string_view(rewritten).substr(prefix.size()) == rest);
    FUZZ_CHECK(holder.Rewrite(rewritten).empty());
  }
  return 0;
}
