#include "host/base/paths.h"

#include "host/portable/path_split.h"

namespace nimo {

std::string GetExecutableDirectory() {
  char buffer[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return DirectoryOf(buffer);
}

bool FlagFileExists(const char* name) {
  return GetFileAttributesA((GetExecutableDirectory() + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ToFullPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  // A result that does not fit returns the needed size and writes nothing.
  if (n != 0 && n < MAX_PATH && buffer[0] != '\0') return buffer;
  return path;
}

HMODULE LoadEngineLibrary() {
  const std::string dir = GetExecutableDirectory();
  const std::string candidates[] = {
      dir + "\\dezor2.dll",
      dir + "\\..\\libs\\dezor2.dll",
      dir + "\\libs\\dezor2.dll",
  };
  for (const std::string& candidate : candidates) {
    // The engine's own dependent DLLs are found through the DLL directory, which stays
    // at the folder of the library that loaded.
    SetDllDirectoryA(FolderOrSelf(candidate).c_str());
    if (HMODULE module = LoadLibraryA(candidate.c_str())) return module;
  }
  return nullptr;
}

}  // namespace nimo
