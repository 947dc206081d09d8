#include "base/portable/path_split.h"

#include <gtest/gtest.h>

namespace {

TEST(PathSplit, DirectoryIsEverythingBeforeTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(nimo::DirectoryOf("C:\\app\\bin\\nimo-webengine.exe"), "C:\\app\\bin");
  EXPECT_EQ(nimo::DirectoryOf("C:/app/bin/nimo-webengine.exe"), "C:/app/bin");
  EXPECT_EQ(nimo::DirectoryOf("C:\\app/bin\\x.exe"), "C:\\app/bin");
  EXPECT_EQ(nimo::DirectoryOf("\\x.exe"), "");
}

TEST(PathSplit, DirectoryWithoutSeparatorIsDot) {
  EXPECT_EQ(nimo::DirectoryOf(""), ".");
  EXPECT_EQ(nimo::DirectoryOf("nimo-webengine.exe"), ".");
}

TEST(PathSplit, LoaderFolderKeepsATextWithoutSeparator) {
  EXPECT_EQ(nimo::FolderOrSelf("D:\\e\\..\\libs\\dezor2.dll"), "D:\\e\\..\\libs");
  EXPECT_EQ(nimo::FolderOrSelf("dezor2.dll"), "dezor2.dll");
}

}  // namespace
