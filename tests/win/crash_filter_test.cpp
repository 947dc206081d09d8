// The crash line for real addresses: inside a loaded module (path and offset from its
// base) and outside every module; the filter always lets the system go on.
#include "diag/crash_filter.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace nimo {
namespace {

EXCEPTION_POINTERS Pointers(EXCEPTION_RECORD* record, DWORD code, void* address) {
  *record = EXCEPTION_RECORD();
  record->ExceptionCode = code;
  record->ExceptionAddress = address;
  EXCEPTION_POINTERS pointers = {};
  pointers.ExceptionRecord = record;
  return pointers;
}

void MarkerFunction() {}

TEST(CrashFilter, AddressInsideAModule) {
  // An address inside this test program's own image.
  void* address = reinterpret_cast<void*>(&MarkerFunction);
  HMODULE self = GetModuleHandleA(nullptr);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(self, path, MAX_PATH);
  char expected[600];
  std::snprintf(expected, sizeof expected, "[nimo-webengine][CRASH] code=0xC0000005 at %s+0x%llX\n",
                path,
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address) -
                                                reinterpret_cast<uintptr_t>(self)));
  EXCEPTION_RECORD record;
  EXCEPTION_POINTERS pointers = Pointers(&record, 0xC0000005u, address);
  EXPECT_EQ(DescribeCrash(&pointers), expected);
  EXPECT_EQ(CrashFilter(&pointers), EXCEPTION_CONTINUE_SEARCH);

  // A system library is found the same way, and a small code keeps eight digits.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  void* in_kernel = reinterpret_cast<void*>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(kernel, "GetTickCount")));
  pointers = Pointers(&record, 0x80000003u, in_kernel);
  const std::string line = DescribeCrash(&pointers);
  EXPECT_EQ(line.rfind("[nimo-webengine][CRASH] code=0x80000003 at ", 0), 0u) << line;
  EXPECT_NE(line.find("+0x"), std::string::npos) << line;
}

TEST(CrashFilter, AddressOutsideEveryModule) {
  // Freshly allocated memory, as for generated code, belongs to no module.
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(page, nullptr);
  void* address = static_cast<char*>(page) + 0x10;
  char expected[128];
  std::snprintf(expected, sizeof expected, "[nimo-webengine][CRASH] code=0xC000001D at %016llX\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
  EXCEPTION_RECORD record;
  EXCEPTION_POINTERS pointers = Pointers(&record, 0xC000001Du, address);
  EXPECT_EQ(DescribeCrash(&pointers), expected);
  EXPECT_EQ(CrashFilter(&pointers), EXCEPTION_CONTINUE_SEARCH);
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST(CrashFilter, NoRecord) {
  EXPECT_EQ(DescribeCrash(nullptr), "");
  EXPECT_EQ(CrashFilter(nullptr), EXCEPTION_CONTINUE_SEARCH);
  EXCEPTION_POINTERS empty = {};
  EXPECT_EQ(DescribeCrash(&empty), "");
  EXPECT_EQ(CrashFilter(&empty), EXCEPTION_CONTINUE_SEARCH);
}

}  // namespace
}  // namespace nimo
