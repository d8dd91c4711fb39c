#include <gtest/gtest.h>

#include "diagnostics/log.h"
#include "driver/cleanup.h"
#include "driver/options.h"
#include "driver/state.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace qvk {
namespace {

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetState(); }
    void TearDown() override { CloseLog(); }
    test::ScratchFolder folder;
};

TEST_F(OptionsTest, NoArgumentsKeepTheDefaultsAndWriteNoLog) {
    ParseOptions({});
    EXPECT_EQ(state.language, 1);
    EXPECT_FALSE(state.debugMode);
    EXPECT_EQ(state.catalogueHost, kDefaultCatalogueHost);
    EXPECT_EQ(state.cataloguePath, "/plugins.php");
    EXPECT_FALSE(platform::FileExists("qvk.log"));
}

TEST_F(OptionsTest, LinesBeforeDebugAreLostAndSafeModeLineOnlyWhenItActivates) {
    ParseOptions({"-tofile", "-debug", "-safemode", "-DEBUG"});
    CloseLog();
    const std::string log = test::ReadWholeFile("qvk.log").value_or("");
    EXPECT_EQ(state.keepCatalogueFile, 1);
    EXPECT_TRUE(state.safeMode);
    EXPECT_EQ(log.find("Output file enabled"), std::string::npos);
    EXPECT_EQ(log.find("Safe mode enabled"), std::string::npos);
    EXPECT_EQ(log.rfind("Debug mode launched\r\n", 0), 0u);
}

TEST_F(OptionsTest, SafeModeAloneEndsTheBannerWithItsLine) {
    ParseOptions({"-safemode", "-tofile"});
    CloseLog();
    const std::string log = test::ReadWholeFile("qvk.log").value_or("");
    const auto safe = log.find("Safe mode enabled. Use it only if you know what you're doing!\r\n");
    ASSERT_NE(safe, std::string::npos);
    EXPECT_LT(log.find("Host OS: "), safe);
    EXPECT_GT(log.find("Output file enabled\r\n"), safe);
}

struct UrlCase {
    std::string arg, host, path, logTail;
};

TEST_F(OptionsTest, UrlOptionForms) {
    const std::string h = kDefaultCatalogueHost, p = "/plugins.php";
    const UrlCase cases[] = {
        {"-url=http://H/|plugins/list.php", "H", "/plugins/list.php", "URL changed (H/plugins/list.php)"},
        {"-url:H|/p", "H", "/p", "URL changed (H/p)"},
        {"-urlXH|/p", "H", "/p", "URL changed (H/p)"},
        {"-url=H", h, p, "Can't find URL"},
        {"-url=|/x.php", h, p, "URL specified..."},
        {"-url=H|", h, p, "URL specified..."},
        {"-url", h, p, "Can't find URL"},
        // Nothing is left of the host once its slash and scheme are trimmed.
        {"-url=/|/p", h, p, "URL specified..."},
        {"-url=http:///|/p", h, p, "URL specified..."},
    };
    ParseOptions({"-debug"});
    for (const UrlCase& c : cases) {
        state.catalogueHost = h;
        state.cataloguePath = p;
        ParseOptions({c.arg});
        EXPECT_EQ(state.catalogueHost, c.host) << c.arg;
        EXPECT_EQ(state.cataloguePath, c.path) << c.arg;
        CloseLog();
        const std::string log = test::ReadWholeFile("qvk.log").value_or("");
        EXPECT_EQ(log.substr(log.size() - c.logTail.size() - 2), c.logTail + "\r\n") << c.arg;
        state.debugMode = false;
        ParseOptions({"-debug"});
    }
}

TEST_F(OptionsTest, LaterUrlOverridesEarlier) {
    ParseOptions({"-url=A|/a", "-url=B|b"});
    EXPECT_EQ(state.catalogueHost, "B");
    EXPECT_EQ(state.cataloguePath, "/b");
}

}  // namespace
}  // namespace qvk
