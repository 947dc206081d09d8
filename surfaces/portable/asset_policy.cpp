#include "surfaces/portable/asset_policy.h"

#include <utility>

#include "surfaces/portable/ui_origin.h"

namespace nimo {

namespace {

constexpr std::string_view kFileUrl = "file://";
constexpr std::string_view kLocalFileUrl = "file:///";
constexpr std::string_view kDataUrl = "data:";
constexpr std::string_view kBlankUrl = "about:blank";

// The well-known asset folders a web-server build refers to from the root.
constexpr std::string_view kAssetFolders[] = {"src",    "node_modules", "build",
                                              "sounds", "assets",       "fonts",
                                              "img",    "images",       "static"};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// `text` starts with `prefix` followed by '/'.
bool StartsWithFolder(std::string_view text, std::string_view prefix) {
  return text.size() > prefix.size() && StartsWith(text, prefix) && text[prefix.size()] == '/';
}

bool IsAssetFolder(std::string_view segment) {
  for (std::string_view folder : kAssetFolders) {
    if (segment == folder) return true;
  }
  return false;
}

}  // namespace

NavigationDecision DecideNavigation(std::uint32_t surface_id, std::string_view url) {
  if (StartsWith(url, kFileUrl)) return {true, true};
  if (StartsWith(url, kDataUrl) || StartsWith(url, kBlankUrl)) return {true, false};
  return {surface_id == kUnrestrictedSurfaceId, false};
}

NavigationDecision DecideNavigation(std::uint32_t surface_id, std::string_view url, bool ui_origin_mapped) {
  if (ui_origin_mapped && IsUiOriginUrl(url)) return {true, false};
  return DecideNavigation(surface_id, url);
}

bool PageLocationFromUrl(std::string_view url, PageLocation* out) {
  if (!StartsWith(url, kLocalFileUrl)) return false;
  const std::string_view path = url.substr(kLocalFileUrl.size());
  const std::size_t last_slash = path.rfind('/');
  if (path.empty() || last_slash == std::string_view::npos) return false;
  const std::string_view directory = path.substr(0, last_slash);
  const std::size_t colon = directory.find(':');
  out->directory.assign(directory.data(), directory.size());
  if (colon == std::string_view::npos) {
    out->drive.clear();
  } else {
    out->drive.assign(directory.data(), colon + 1);
  }
  return true;
}

std::string RewriteAssetUrlFor(const PageLocation& page, std::string_view url) {
  if (page.directory.empty()) return std::string();
  if (!StartsWith(url, kLocalFileUrl)) return std::string();
  const std::string_view path = url.substr(kLocalFileUrl.size());
  if (page.drive.empty() || !StartsWithFolder(path, page.drive)) return std::string();
  const std::string_view rest = path.substr(page.drive.size() + 1);
  const std::string_view first = rest.substr(0, rest.find('/'));
  if (!IsAssetFolder(first)) return std::string();
  if (StartsWithFolder(path, page.directory)) return std::string();

  std::string out;
  out.reserve(kLocalFileUrl.size() + page.directory.size() + 1 + rest.size());
  out.append(kLocalFileUrl.data(), kLocalFileUrl.size());
  out += page.directory;
  out += '/';
  out.append(rest.data(), rest.size());
  return out;
}

void PageLocationHolder::Record(std::string_view url) {
  PageLocation next;
  if (!PageLocationFromUrl(url, &next)) return;
  auto pair = std::make_shared<const PageLocation>(std::move(next));
  std::lock_guard<std::mutex> hold(lock_);
  current_.swap(pair);
  // The old pair is released after the lock, by `pair`'s destructor, or later by the
  // last reader still holding it.
}

std::shared_ptr<const PageLocation> PageLocationHolder::Snapshot() const {
  std::lock_guard<std::mutex> hold(lock_);
  return current_;
}

std::string PageLocationHolder::Rewrite(std::string_view url) const {
  const auto pair = Snapshot();
  if (!pair) return std::string();
  return RewriteAssetUrlFor(*pair, url);
}

PageLocation PageLocationHolder::Current() const {
  const auto pair = Snapshot();
  return pair ? *pair : PageLocation{};
}

namespace {
// Never destroyed: the engine's IO thread may still ask while the process winds down.
PageLocationHolder& ProcessPageLocation() {
  static PageLocationHolder* holder = new PageLocationHolder;
  return *holder;
}
}  // namespace

void RecordPageDirectory(std::string_view url) { ProcessPageLocation().Record(url); }
std::string RewriteAssetUrl(std::string_view url) { return ProcessPageLocation().Rewrite(url); }
PageLocation CurrentPageLocation() { return ProcessPageLocation().Current(); }

}  // namespace nimo
