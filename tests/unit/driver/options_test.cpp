#include <gtest/gtest.h>

#include "driver/options.h"
#include "platform/files.h"
#include "support/core_test.h"

namespace qvk {
namespace {

using OptionsTest = test::CoreTest;

TEST_F(OptionsTest, SwitchesAndTheLinesTheyLog) {
    ParseOptions({});
    EXPECT_EQ(state.catalogueHost + state.cataloguePath, kDefaultCatalogueHost + std::string("/plugins.php"));
    EXPECT_FALSE(state.debugMode || platform::FileExists("qvk.log"));
    // Lines before -debug are lost; safe mode logs its line only when it switches the log on.
    ParseOptions({"-tofile", "-debug", "-safemode", "-DEBUG"});
    std::string log = LogText();
    EXPECT_TRUE(state.keepCatalogueFile == 1 && state.safeMode);
    EXPECT_EQ(log.find("Output file enabled"), std::string::npos);
    EXPECT_EQ(log.find("Safe mode enabled"), std::string::npos);
    EXPECT_EQ(log.rfind("Debug mode launched\r\n", 0), 0u);
    ResetState();
    ParseOptions({"-safemode", "-tofile"});
    log = LogText();
    const auto safe = log.find("Safe mode enabled. Use it only if you know what you're doing!\r\n");
    EXPECT_LT(log.find("Host OS: "), safe);
    EXPECT_LT(safe, log.find("Output file enabled\r\n"));
}

TEST_F(OptionsTest, UrlOptionForms) {
    const std::string h = kDefaultCatalogueHost, p = "/plugins.php";
    const std::string cases[][4] = {
        {"-url=http://H/|plugins/list.php", "H", "/plugins/list.php", "URL changed (H/plugins/list.php)"},
        {"-url:H|/p", "H", "/p", "URL changed (H/p)"}, {"-urlXH|/p", "H", "/p", "URL changed (H/p)"},
        {"-url=H", h, p, "Can't find URL"}, {"-url", h, p, "Can't find URL"},
        {"-url=|/x.php", h, p, "URL specified..."}, {"-url=H|", h, p, "URL specified..."},
        // Nothing is left of the host once its slash and scheme are trimmed.
        {"-url=/|/p", h, p, "URL specified..."}, {"-url=http:///|/p", h, p, "URL specified..."},
    };
    for (const auto& [arg, host, path, logTail] : cases) {
        ResetState();
        ParseOptions({"-debug", arg});
        EXPECT_EQ(state.catalogueHost + "|" + state.cataloguePath, host + "|" + path) << arg;
        const std::string log = LogText();
        EXPECT_EQ(log.substr(log.size() - logTail.size() - 2), logTail + "\r\n") << arg;
    }
    ParseOptions({"-url=A|/a", "-url=B|b"});  // the later one wins
    EXPECT_EQ(state.catalogueHost + state.cataloguePath, "B/b");
}

}  // namespace
}  // namespace qvk
