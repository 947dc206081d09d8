// Where the program lives and how it finds the engine library. Paths are UTF-8 here and
// reach the system as UTF-16 (base/wide_text.h), so a folder name of any script and a
// path longer than the classic 260-character limit come through whole.
// GetExecutablePath/GetExecutableDirectory/FlagFileExists/ToFullPath/MakeDirectory: any
// thread. LoadEngineLibrary: main thread, once, before any engine thread exists.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace nimo {

// Full path of the running executable, never cut short (the buffer grows to fit); empty
// only when the system cannot tell it.
std::string GetExecutablePath();

// A path a Win32 call writes into the caller's buffer, as GetModuleFileNameW does: `fill`
// returns the characters written, or the buffer's whole size when the path was cut, or 0.
// Asked again with a doubled buffer while the answer is cut, up to the longest path the
// system has; empty when it fails or never fits.
std::string GrowingPath(const std::function<DWORD(wchar_t* buffer, DWORD size)>& fill);

// Directory of the running executable (no trailing separator), recomputed on every call.
std::string GetExecutableDirectory();

// Whether "<executable directory>\<name>" exists, file or directory, tested afresh: the
// flag files that switch behaviour on a deployed machine.
bool FlagFileExists(const char* name);

// Absolute form of `path`, or `path` unchanged when the system cannot give one.
std::string ToFullPath(const std::string& path);

// Creates the folder `path` (its parent must exist); false when it could not be made and
// does not exist either.
bool MakeDirectory(const std::string& path);

// Loads the engine library from beside the executable, "..\libs" or "libs", in that
// order, pointing the DLL search path at each candidate's folder first. Null when none
// loads; then it logs one line naming each place and why it failed there (no such file, or
// the Win32 error of a file that did not load), after a line for a candidate's path that
// was too long for the system to load.
HMODULE LoadEngineLibrary();

}  // namespace nimo
