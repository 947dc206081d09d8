#include "base/portable/path_split.h"

namespace nimo {

std::string DirectoryOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  if (path.empty() || cut == std::string::npos) return ".";
  return path.substr(0, cut);
}

std::string FolderOrSelf(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) return path;
  return path.substr(0, cut);
}

}  // namespace nimo
