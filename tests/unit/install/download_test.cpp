// The download loop against a real loopback server (tools/plugin_server.py), into a scratch
// work folder, with a window that records what it was shown.
#include "install/download.h"

#include <gtest/gtest.h>

#include <thread>

#include "diagnostics/log.h"
#include "driver/shutdown_gate.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "support/event_ui.h"
#include "support/plugin_server.h"
#include "support/test_support.h"
#include "texts/language.h"
#include "window/paced_value.h"

namespace qvk {
namespace {

using test::PathExists;
using test::ReadWholeFile;
using test::WriteWholeFile;

TEST(FileNames, OnlyPlainNamesInsideTheWorkFolder) {
    EXPECT_EQ(FileNameOfUrl("http://h/dir/a.zip?v=2"), "a.zip?v=2");
    EXPECT_EQ(FileNameOfUrl("http://h/dir/"), "");
    EXPECT_EQ(FileNameOfUrl("a.zip"), "");
    for (const char* good : {"a.zip", "Blur & Glow.zip", "con1.zip", "..a", "nul_x.zip", "\xE9t\xE9.zip"})
        EXPECT_TRUE(IsPlainFileName(good)) << good;
    for (const char* bad : {"", ".", "..", "..\\x.zip", "a\\b.zip", "c:x.zip", "a.zip:s", "a?b",
                            "a*.zip", "a<b>", "a|b", "a\"b", "a\tb", "a.zip.", "a.zip ", "CON",
                            "con.zip", "Lpt1.tar.gz", "AUX", "conout$.zip"})
        EXPECT_FALSE(IsPlainFileName(bad)) << bad;
}

TEST(PacedValue, ShowsChangesAtMostOncePerIntervalAndNeverLosesTheLast) {
    PacedValue<int> v(50);
    EXPECT_TRUE(v.Offer(1, 1000));
    EXPECT_FALSE(v.Offer(1, 2000));      // unchanged: nothing to show
    EXPECT_TRUE(v.Offer(2, 2000));
    EXPECT_FALSE(v.Offer(3, 2010));      // too soon: held
    EXPECT_FALSE(v.Offer(4, 2020));      // replaces the held value
    EXPECT_EQ(v.Flush(2030), 4);
    EXPECT_EQ(v.Flush(2031), std::nullopt);
    EXPECT_FALSE(v.Offer(5, 2040));
    EXPECT_FALSE(v.Offer(4, 2041));      // back to the value on show: nothing held
    EXPECT_EQ(v.Flush(2042), std::nullopt);
    v.Reset();
    EXPECT_TRUE(v.Offer(4, 2043));
}

// Larger than one receive, so that the heading shows a chunk's progress.
std::string Content(const std::string& name) { return name + std::string(9000, '.'); }

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        ResetShutdownGateForTests();
        FillLanguageTables();
        ActivateDebug();
        job.workDir = work.path();
    }
    void TearDown() override {
        CloseLog();
        ResetState();
    }
    // Serves root with the given rules; every record's URL points at it.
    void Serve(const std::string& rules) {
        WriteWholeFile(root / "rules.json", rules);
        server = std::make_unique<test::PluginServer>(root.path(), root / "rules.json");
        ASSERT_TRUE(server->ready());
    }
    PluginRecord& Add(const std::string& name, const std::string& file, uint8_t selected = 1) {
        PluginRecord& r = state.plugins.emplace_back();
        r.name = name;
        r.url = server->Url("/" + file);
        r.selected = selected;
        job.count += selected;
        if (file.find_first_of("/\\") == std::string::npos) WriteWholeFile(root / file, Content(name));
        return r;
    }
    std::vector<std::string> LogLines() {
        CloseLog();
        std::vector<std::string> lines;
        std::string text = ReadWholeFile("qvk.log").value_or("");
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos; text.erase(0, at + 2))
            if (text.compare(0, 10, "KiteHTTP: ") != 0) lines.push_back(text.substr(0, at));
        // The loop's own lines, from its first on.
        lines.erase(lines.begin(), std::find(lines.begin(), lines.end(), "Downloading plugins"));
        return lines;
    }

    test::ScratchFolder cwd;
    test::ScratchDir root, work;
    std::unique_ptr<test::PluginServer> server;
    test::ScopedUi window;
    test::EventUi& ui = window.ui;
    DownloadJob job;
};

TEST_F(DownloadTest, SecondOfThreeFailsAndIsNotRetried) {
    Serve(R"({"/b.zip": "status-404"})");
    Add("A", "a.zip");
    PluginRecord& b = Add("B", "b.zip");
    Add("Skipped", "s.zip", 0);
    Add("C", "c.zip");
    WriteWholeFile(work / "a.zip", "left by an earlier attempt");
    ui.Answer({AnswerNo});
    DownloadThread(&job);

    EXPECT_EQ(job.count, 2);
    EXPECT_EQ(b.selected, 0);
    EXPECT_EQ(ReadWholeFile(work / "a.zip"), Content("A"));
    EXPECT_EQ(ReadWholeFile(work / "c.zip"), Content("C"));
    EXPECT_FALSE(PathExists(work / "b.zip") || PathExists(work / "s.zip"));
    EXPECT_EQ(ui.Progress(TotalProgressBar), (std::vector<int>{33, 66}));
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "Failed to download file B ! Do you want to retry?");
    EXPECT_EQ(ui.Messages()[0].style, IconWarning | ButtonsYesNo);
    EXPECT_EQ(ui.Messages()[0].title, "Warning");
    EXPECT_EQ(ui.Texts(HeadingText).back().rfind("Downloading: c.zip (8KB @ ", 0), 0u);
    EXPECT_EQ(ui.Progress(installprog).back(), 100);
    const std::string a = server->Url("/a.zip"), bUrl = server->Url("/b.zip"),
                      c = server->Url("/c.zip");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "Downloading plugins", "A : to DL ? 1", "Yes", "File name : a.zip",
                              "File already on disk, delete it", "Try to download (" + a + ")... ",
                              "OK", "B : to DL ? 1", "Yes", "File name : b.zip",
                              "Try to download (" + bUrl + ")... ", "Error", "Skipped : to DL ? 0",
                              "C : to DL ? 1", "Yes", "File name : c.zip",
                              "Try to download (" + c + ")... ", "OK",
                              "End of downloading plugins"}));
}

TEST_F(DownloadTest, RetryAnsweredYesSucceeds) {
    Serve(R"({"/r.zip": "status-500"})");
    PluginRecord& r = Add("R", "r.zip");
    ui.onMessage = [&] { WriteWholeFile(root / "rules.json", "{}"); };
    ui.Answer({AnswerYes});
    DownloadThread(&job);
    EXPECT_EQ(job.count, 1);
    EXPECT_EQ(r.selected, 1);
    EXPECT_EQ(server->Requests().size(), 2u);
    EXPECT_EQ(ReadWholeFile(work / "r.zip"), Content("R"));
    EXPECT_EQ(ui.Progress(TotalProgressBar), std::vector<int>{100});
}

TEST_F(DownloadTest, WithoutLengthTheFileBarStaysAndPacedHeadingsEndOnTheTotal) {
    Serve(R"({"/n.zip": "nolength", "/s.zip": "split-body"})");
    Add("N", "n.zip");
    Add("S", "s.zip");
    WriteWholeFile(root / "n.zip", std::string(300000, 'n'));
    WriteWholeFile(root / "s.zip", std::string(40960, 's'));  // 160 writes 5 ms apart
    const uint32_t start = platform::TickCount();
    DownloadThread(&job);
    const uint32_t took = platform::TickCount() - start;

    EXPECT_EQ(job.count, 2);
    EXPECT_EQ(ReadWholeFile(work / "n.zip")->size(), 300000u);
    const std::vector<std::string> headings = ui.Texts(HeadingText);
    const auto firstS = std::find_if(headings.begin(), headings.end(), [](const std::string& h) {
        return h.rfind("Downloading: s.zip (", 0) == 0;
    });
    ASSERT_NE(firstS, headings.begin());
    EXPECT_EQ(headings.front().rfind("Downloading: n.zip (", 0), 0u);
    EXPECT_EQ(firstS[-1].rfind("Downloading: n.zip (292KB @ ", 0), 0u);
    EXPECT_EQ(headings.back().rfind("Downloading: s.zip (40KB @ ", 0), 0u);
    const std::vector<std::string> events = ui.Events();
    const auto sStart = std::find(events.begin(), events.end(), "text 31 " + firstS[-1]);
    EXPECT_EQ(std::count_if(events.begin(), sStart,
                            [](const std::string& e) { return e.rfind("progress 14 ", 0) == 0; }),
              0);
    // The slow file's bar: every value rises, no more than about one per 50 ms, ending full.
    const std::vector<int> bar = ui.Progress(installprog);
    ASSERT_FALSE(bar.empty());
    EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
    EXPECT_LE(bar.size(), took / 50 + 3);
    EXPECT_LE(static_cast<long>(headings.end() - firstS), took / 50 + 3);
    EXPECT_EQ(bar.back(), 100);
}

TEST_F(DownloadTest, HostileNamesFailWithoutTouchingServerOrDisk) {
    Serve("{}");
    const std::vector<std::string> files = {"..", "a\\..\\..\\x.zip", "CON.zip", "a.zip?v=1", ""};
    for (const std::string& f : files) Add("P" + f, f);
    ui.Answer(std::vector<int>(files.size(), AnswerNo));
    DownloadThread(&job);
    EXPECT_EQ(job.count, 0);
    EXPECT_EQ(ui.Messages().size(), files.size());
    EXPECT_TRUE(server->Requests().empty());
    EXPECT_TRUE(platform::ListFiles(work.path()).empty());
    for (const PluginRecord& r : state.plugins) EXPECT_EQ(r.selected, 0);
}

TEST_F(DownloadTest, TheEndWaitsForTheTransferAndTheWorkerNeverComesBack) {
    Serve(R"({"/slow.zip": "stall", "/next.zip": "normal"})");
    WriteWholeFile(root / "slow.zip", std::string(200000, 's'));
    Add("Slow", "slow.zip");
    Add("Next", "next.zip");
    ui.Answer({AnswerNo});
    ASSERT_TRUE(platform::StartThread([](void* j) { DownloadThread(static_cast<DownloadJob*>(j)); }, &job));
    for (int i = 0; i < 500 && ui.Texts(HeadingText).empty(); ++i) platform::SleepMs(10);
    ASSERT_FALSE(ui.Texts(HeadingText).empty());  // the stalled transfer is under way
    const uint32_t start = platform::TickCount();
    EXPECT_TRUE(CloseShutdownGate(3000));
    EXPECT_LT(platform::TickCount() - start, 1000u);
    state.plugins.clear();
    platform::SleepMs(200);
    EXPECT_TRUE(state.plugins.empty());
    EXPECT_FALSE(PathExists(work / "next.zip") || PathExists(work / "slow.zip.part"));
    EXPECT_EQ(server->Requests().size(), 1u);
}

}  // namespace
}  // namespace qvk
