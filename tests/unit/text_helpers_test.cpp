#include <gtest/gtest.h>

#include "text_helpers.h"

namespace qvk {
namespace {

TEST(TextHelpersTest, FolderAndUrlParts) {
    EXPECT_EQ(AddTrailingBackslash("C:\\Q"), "C:\\Q\\");
    EXPECT_EQ(AddTrailingBackslash("C:\\Q\\"), "C:\\Q\\");
    EXPECT_EQ(AddTrailingBackslash(""), "\\");
    EXPECT_EQ(FolderPartOf("C:\\Program Files\\Quorvane\\Quorvane.exe"), "C:\\Program Files\\Quorvane\\");
    EXPECT_EQ(FolderPartOf("Z:/mix\\a/b.exe"), "Z:/mix\\a/");
    EXPECT_EQ(FolderPartOf("plain.exe"), "");
    EXPECT_EQ(FileNameOfUrl("http://h/dir/a.zip"), "a.zip");
    EXPECT_EQ(FileNameOfUrl("http://h/dir/"), "");
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank("   "));
    EXPECT_FALSE(IsBlank(" x "));
    EXPECT_FALSE(IsBlank("\t"));
    EXPECT_EQ(AsciiLower("AbC\xC9\xE9"), "abc\xC9\xE9");  // accented bytes stay as they are
}

}  // namespace
}  // namespace qvk
