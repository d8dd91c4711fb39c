#include <gtest/gtest.h>

#include "driver/options.h"
#include "driver/silent.h"
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

TEST_F(OptionsTest, LogFileNamedWhereverItStandsAndItsFailureSaidOnce) {
    // The named file is the one -debug opens, even before -log= on the line; the last one wins.
    ParseOptions({"-debug", "-log=first.log", "-log=run.log"});
    EXPECT_TRUE(state.debugMode && state.logFileError.empty());
    CloseLog();
    EXPECT_EQ(test::ReadWholeFile("run.log").value_or("").rfind("Debug mode launched\r\n", 0), 0u);
    EXPECT_FALSE(platform::FileExists("qvk.log") || platform::FileExists("first.log"));
    ResetState();
    ParseOptions({"-log=alone.log"});
    EXPECT_TRUE(state.debugMode && platform::FileExists("alone.log"));
    const struct {
        std::vector<std::string> args;
        std::string error;
        size_t boxes;
    } cases[] = {
        {{"-log=no/such/x.log", "-tofile"}, "Cannot create the log file \"no/such/x.log\" (", 1},
        // The unattended mode says it on its output, and ends.
        {{"-silent", "-safemode", "-log="}, "No file name in -log=: use -log=FILE", 0},
    };
    for (const auto& c : cases) {
        ResetState();
        const size_t before = ui.Messages().size();
        ui.Answer({AnswerOk});
        ParseOptions(c.args);
        EXPECT_FALSE(state.debugMode) << c.args[0];
        EXPECT_EQ(state.logFileError.substr(0, c.error.size()), c.error) << c.args[0];
        ASSERT_EQ(ui.Messages().size(), before + c.boxes) << c.args[0];
        if (c.boxes) {
            EXPECT_EQ(ui.Messages().back().text,
                      state.logFileError + "\r\n\r\nThe installation goes on without a log.");
        }
    }
    // qvk.log that cannot be made stays unseen, as before -log= existed.
    ResetState();
    CloseLog();
    platform::CreateFolder("qvk.log");
    platform::CreateFolder("qvk.log/in");
    ParseOptions({"-debug"});
    EXPECT_FALSE(state.debugMode || LogIsOn() || !state.logFileError.empty());
}

TEST_F(OptionsTest, HelpOnAConsoleAndInABox) {
    EXPECT_TRUE(HelpRequested({"-silent", "/?"}) && HelpRequested({"-help"}));
    EXPECT_FALSE(HelpRequested({"-Help", "/help", "-?", "?"}));
    const std::string console = HelpText(false), box = HelpText(true);
    for (size_t at = 0, end; (end = console.find("\r\n", at)) != std::string::npos; at = end + 2)
        EXPECT_LE(end - at, 79u) << console.substr(at, end - at);
    // Both layouts of a row: its effect in a column on a console, after a tab in a box.
    EXPECT_NE(console.find("\r\n  -tofile" + std::string(13, ' ') + "keep the"), std::string::npos);
    EXPECT_NE(box.find("\r\n  -tofile\tkeep the"), std::string::npos);
    EXPECT_NE(console.find("\r\nExit codes of -silent:\r\n  0  everything asked for"),
              std::string::npos);
}

}  // namespace
}  // namespace qvk
