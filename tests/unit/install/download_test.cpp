#include <gtest/gtest.h>

#include "install/download.h"

namespace qvk {
namespace {

TEST(FileNameOfUrl, TextAfterTheLastSlash) {
    EXPECT_EQ(FileNameOfUrl("http://h/dir/a.zip"), "a.zip");
    EXPECT_EQ(FileNameOfUrl("http://h/dir/"), "");
}

}  // namespace
}  // namespace qvk
