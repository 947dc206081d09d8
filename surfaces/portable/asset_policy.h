// Where surfaces may navigate, and how absolute asset paths of a page loaded from disk are
// redirected into that page's directory.
//
// Threads: DecideNavigation, PageLocationFromUrl and RewriteAssetUrlFor are pure (any
// thread). The process-wide page location is written by RecordPageDirectory on the UI
// thread (navigation decisions) and read by RewriteAssetUrl / CurrentPageLocation on the
// engine's IO thread (resource requests); a reader always sees one whole pair, old or new.
//
// Every prefix test is byte-exact and case-sensitive; no URL is decoded or normalised.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace nimo {

// The one surface that may navigate anywhere.
constexpr std::uint32_t kUnrestrictedSurfaceId = 2;

struct NavigationDecision {
  bool allow;
  bool record_page;  // a "file://" URL: pass it to RecordPageDirectory
};

// URLs starting with "file://", "data:" or "about:blank" are allowed on every surface;
// anything else only on surface 2.
NavigationDecision DecideNavigation(std::uint32_t surface_id, std::string_view url);
// The same, with URLs of the UI origin (surfaces/portable/ui_origin.h) allowed on every
// surface when a UI folder is mapped; they never record a page location.
NavigationDecision DecideNavigation(std::uint32_t surface_id, std::string_view url, bool ui_origin_mapped);

// The directory of the last local page and its drive ("C:/Games/ui" and "C:").
struct PageLocation {
  std::string directory;  // empty until a local page with a '/' in its path was seen
  std::string drive;      // directory up to and including its first ':', or empty
};

// The location a "file:///" URL names: its path without the last '/' and what follows.
// False (and `out` untouched) for any other URL, an empty path or a path without '/'.
bool PageLocationFromUrl(std::string_view url, PageLocation* out);

// The rewritten asset URL for a page at `page`, or empty when `url` stays as it is: only
// "file:///<drive>/<folder>..." with <folder> one of src, node_modules, build, sounds,
// assets, fonts, img, images, static (a whole segment), and not already inside the
// page directory, becomes "file:///<directory>/<rest after the drive>".
std::string RewriteAssetUrlFor(const PageLocation& page, std::string_view url);

// A page location that one thread replaces while others read it. Replacing swaps in a
// new immutable pair, so readers never see a directory from one page with the drive of
// another.
class PageLocationHolder {
 public:
  // Replaces the pair when `url` names a local page location; otherwise keeps it.
  void Record(std::string_view url);
  // RewriteAssetUrlFor with the current pair.
  std::string Rewrite(std::string_view url) const;
  PageLocation Current() const;

 private:
  std::shared_ptr<const PageLocation> Snapshot() const;

  mutable std::mutex lock_;
  std::shared_ptr<const PageLocation> current_;  // null until the first Record that sets it
};

// The process-wide page location shared by all surfaces.
void RecordPageDirectory(std::string_view url);
std::string RewriteAssetUrl(std::string_view url);
PageLocation CurrentPageLocation();

}  // namespace nimo
