#include "diag/portable/extended_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using nimo::ExtendedLengthPath;

// A folder name that brings a path to `length` characters after `head`.
std::wstring Long(const std::wstring& head, std::size_t length) {
  return head + std::wstring(length - head.size(), L'a');
}

TEST(ExtendedPath, OnlyLongFullPathsChangeAndThenKeepEveryCharacter) {
  const std::wstring short_path = L"C:\\games\\\u00e9t\u00e9 \u0416\u4e2d\\bin";
  EXPECT_EQ(ExtendedLengthPath(short_path), short_path);
  EXPECT_EQ(ExtendedLengthPath(Long(L"C:\\x\\", 259)), Long(L"C:\\x\\", 259));

  const std::wstring drive = Long(L"C:\\x\\\u4e2d", 260);
  EXPECT_EQ(ExtendedLengthPath(drive), L"\\\\?\\" + drive);
  const std::wstring slashes = Long(L"D:/x/y", 300);
  std::wstring turned = slashes;
  turned[2] = turned[4] = L'\\';
  EXPECT_EQ(ExtendedLengthPath(slashes), L"\\\\?\\" + turned);
  const std::wstring unc = Long(L"\\\\server\\share\\", 300);
  EXPECT_EQ(ExtendedLengthPath(unc), L"\\\\?\\UNC\\" + unc.substr(2));
}

TEST(ExtendedPath, PathsTheExtendedFormWouldMisreadStayAsTheyAre) {
  for (const std::wstring& path : {Long(L"x\\relative\\", 300), Long(L"\\rooted\\", 300),
                                   Long(L"C:relative", 300), Long(L"\\\\?\\C:\\x\\", 300),
                                   Long(L"\\\\.\\pipe\\", 300), Long(L"C:\\x\\..\\y\\", 300),
                                   Long(L"C:\\x\\.\\", 300)}) {
    EXPECT_EQ(ExtendedLengthPath(path), path);
  }
}

}  // namespace
