#include <gtest/gtest.h>

#include "texts/text_helpers.h"

namespace qvk {
namespace {

TEST(TextHelpersTest, FolderAndUrlParts) {
    EXPECT_EQ(AddTrailingBackslash("C:\\Q"), "C:\\Q\\");
    EXPECT_EQ(AddTrailingBackslash("C:\\Q\\"), "C:\\Q\\");
    EXPECT_EQ(AddTrailingBackslash(""), "\\");
    EXPECT_EQ(FolderPartOf("C:\\Program Files\\Quorvane\\Quorvane.exe"), "C:\\Program Files\\Quorvane\\");
    EXPECT_EQ(FolderPartOf("Z:/mix\\a/b.exe"), "Z:/mix\\a/");
    EXPECT_EQ(FolderPartOf("plain.exe"), "");
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank("   "));
    EXPECT_FALSE(IsBlank(" x "));
    EXPECT_FALSE(IsBlank("\t"));
    EXPECT_EQ(AsciiLower("AbC\xC9\xE9"), "abc\xC9\xE9");  // accented bytes stay as they are
}

TEST(TextReplacement, ReplacesEveryOccurrenceCaseSensitively) {
    EXPECT_EQ(ReplaceAll("a%x%b%x%c", "%x%", "[]"), "a[]b[]c");
    EXPECT_EQ(ReplaceAll("%X% %x%", "%x%", "y"), "%X% y");
    EXPECT_EQ(ReplaceAll("%x%", "%x%", "<%x%>"), "<%x%>");  // not expanded again
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
    EXPECT_EQ(ReplaceAll("", "a", "z"), "");
    EXPECT_EQ(WithEdition("%logiciel% and %logiciel%", "Quorvane Studio"),
              "Quorvane Studio and Quorvane Studio");
}

}  // namespace
}  // namespace qvk
