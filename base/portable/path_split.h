// Path splitting shared by the loader, the log and the default engine folders.
// Pure functions; any thread.
#pragma once
#include <string>

namespace nimo {

// Everything before the last '\' or '/' of `path`, without that separator; "." when the
// path is empty or holds no separator.
std::string DirectoryOf(const std::string& path);

// The folder of `path` the way the loader points the DLL search at it: everything before
// the last '\' or '/', or the whole text when there is none.
std::string FolderOrSelf(const std::string& path);

}  // namespace nimo
