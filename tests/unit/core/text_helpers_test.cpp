#include <gtest/gtest.h>

#include "core/text_helpers.h"

namespace qvk {
namespace {

TEST(TextHelpers, FoldersBlanksCaseAndReplacement) {
    EXPECT_EQ(AddTrailingBackslash("C:\\Q") + AddTrailingBackslash("C:\\Q\\") + AddTrailingBackslash(""), "C:\\Q\\C:\\Q\\\\");
    EXPECT_EQ(FolderPartOf("C:\\Program Files\\Quorvane\\Quorvane.exe"), "C:\\Program Files\\Quorvane\\");
    EXPECT_EQ(FolderPartOf("Z:/mix\\a/b.exe") + FolderPartOf("plain.exe"), "Z:/mix\\a/");
    EXPECT_TRUE(IsBlank("") && IsBlank("   ") && !IsBlank(" x ") && !IsBlank("\t"));
    EXPECT_EQ(AsciiLower("AbC\xC9\xE9"), "abc\xC9\xE9");  // accented bytes stay as they are
    const char* cases[][4] = {{"a%x%b%x%c", "%x%", "[]", "a[]b[]c"}, {"%X% %x%", "%x%", "y", "%X% y"},
                              {"%x%", "%x%", "<%x%>", "<%x%>"} /* not expanded again */, {"aaaa", "aa", "b", "bb"},
                              {"abc", "", "z", "abc"}, {"", "a", "z", ""}};
    for (const auto& c : cases) EXPECT_EQ(ReplaceAll(c[0], c[1], c[2]), c[3]) << c[0];
}

}  // namespace
}  // namespace qvk
