// Where the program lives and how it finds the engine library.
// GetExecutableDirectory/ToFullPath: any thread. LoadEngineLibrary: main thread, once,
// before any engine thread exists.
#pragma once
#include <windows.h>

#include <string>

namespace nimo {

// Directory of the running executable (no trailing separator), recomputed on every call.
std::string GetExecutableDirectory();

// Whether "<executable directory>\<name>" exists, file or directory, tested afresh: the
// flag files that switch behaviour on a deployed machine.
bool FlagFileExists(const char* name);

// Absolute form of `path`, or `path` unchanged when the system cannot give one that fits.
std::string ToFullPath(const std::string& path);

// Loads the engine library from beside the executable, "..\libs" or "libs", in that
// order, pointing the DLL search path at each candidate's folder first. Null when none
// loads; reports nothing.
HMODULE LoadEngineLibrary();

}  // namespace nimo
