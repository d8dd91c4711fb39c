// The download loop against a real loopback server (tools/plugin_server.py), into a scratch
// work folder, with a window that records what it was shown.
#include "install/download.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "diagnostics/debug_mode.h"
#include "install/download_pool.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "support/core_test.h"
#include "support/plugin_server.h"
#include "window/paced_value.h"

namespace qvk {
namespace {

using namespace test;

// Links in catalogue order, and the work file each gets in one run. The rules of a plain name
// are those of an archive entry's parts (install_test.cpp).
TEST(FileNames, EachDownloadItsOwnPlainNameInsideTheWorkFolder) {
    const std::pair<const char*, const char*> links[] = {
        {"http://h/sharpen/plugin.zip", "plugin.zip"}, {"http://h/blur/PLUGIN.zip", "PLUGIN (2).zip"},
        {"http://h/getfile.zip?id=12", "getfile.zip"}, {"http://h/download.php?file=7&x=a/b", "download.php"},
        {"http://h/dl/", "plugin (3).zip"}, {"http://h/CON", "plugin (4).zip"}, {"http://h/my plugin.zip#top", "my plugin.zip"},
        {"http://h/getfile.zip.part", "getfile.zip (2).part"}, {"http://h/x/a.zip.", "plugin (5).zip"},
        {"http://h/LPT\xB2.zip", "plugin (6).zip"},
        {"http://h/README", "README"}, {"http://h/b/readme", "readme (2)"},
        {"http://h/\xE9t\xE9.zip", "\xE9t\xE9.zip"}};
    std::vector<std::string> taken;
    for (const auto& [url, file] : links) {
        taken.push_back(WorkFileName(url, taken));
        EXPECT_EQ(taken.back(), file) << url;
    }
}

TEST(PacedValue, ShowsChangesAtMostOncePerIntervalAndNeverLosesTheLast) {
    PacedValue<int> v(50);
    EXPECT_TRUE(v.Offer(1, 1000) && !v.Offer(1, 2000) && v.Offer(2, 2000));  // unchanged: not shown
    EXPECT_FALSE(v.Offer(3, 2010) || v.Offer(4, 2020));  // too soon: held, the later one wins
    EXPECT_EQ(v.Flush(2030), 4);
    EXPECT_EQ(v.Flush(2031), std::nullopt);
    EXPECT_FALSE(v.Offer(5, 2040) || v.Offer(4, 2041));  // back to the value on show
    EXPECT_EQ(v.Flush(2042), std::nullopt);
}

// Larger than one receive, so that the heading shows a chunk's progress.
std::string Content(const std::string& name) { return name + std::string(9000, '.'); }

class DownloadTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        ActivateDebug();
        job.workDir = work.path();
    }
    // Serves root with the given rules; each record's archive lies there and its URL names it.
    void Serve(const std::string& rules, std::initializer_list<std::string> files) {
        server = test::Serve(root, rules);
        for (const std::string& file : files) {
            PluginRecord& r = state.plugins.emplace_back();
            r.name = file.substr(0, file.find('.'));
            r.url = server->Url("/" + file);
            job.count += r.selected = r.name != "Skipped";
            WriteWholeFile(root / file, Content(r.name));
        }
    }
    ScratchDir root, work;
    std::unique_ptr<PluginServer> server;
    DownloadJob job;
};

class DownloadsAtOnce : public DownloadTest, public ::testing::WithParamInterface<int> {
protected:
    // As the wizard starts the worker.
    void Download() {
        job.connections = GetParam();
        if (job.connections > 1) PrepareDownloadsAtOnce();
        DownloadThread(&job);
    }
};

// B fails once and Yes retries it (the server is back); C fails and No leaves it unmarked. One
// at a time or several at once, the log, the files and the questions are the same.
TEST_P(DownloadsAtOnce, YesRetriesAFailureAndNoSkipsIt) {
    Serve(R"({"/B.zip": "status-500", "/C.zip": "status-404"})", {"A.zip", "B.zip", "Skipped.zip", "C.zip"});
    WriteWholeFile(work / "A.zip", "left by an earlier attempt");
    ui.answerer = [&](const EventUi::MessageCall& box) {
        if (box.topic.subject != "B") return AnswerNo;
        WriteWholeFile(root / "rules.json", R"({"/C.zip": "status-404"})");
        return AnswerYes;
    };
    Download();
    EXPECT_EQ(job.count, 2);
    EXPECT_EQ(std::next(state.plugins.begin())->selected + 2 * state.plugins.back().selected, 1);
    EXPECT_EQ(ReadWholeFile(work / "A.zip"), Content("A"));
    EXPECT_EQ(ReadWholeFile(work / "B.zip"), Content("B"));
    EXPECT_EQ(platform::ListFiles(work.path()).size(), 2u);
    const std::vector<int> bar = ui.Progress(TotalProgressBar);
    if (GetParam() == 1) {
        EXPECT_EQ(bar, (std::vector<int>{33, 66}));
        EXPECT_EQ(ui.GetText(HeadingText).rfind("Downloading: B.zip (8KB @ ", 0), 0u);
    } else {
        // Every record settled, no archive installed yet: half the bar, by steps.
        EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()) && !bar.empty() && bar.back() == 100);
    }
    auto m = ui.Messages();
    ASSERT_EQ(m.size(), 2u);
    if (m[0].topic.subject == "C") std::swap(m[0], m[1]);
    EXPECT_EQ(m[0].text + m[1].text + m[1].title,
              "Failed to download file B ! Do you want to retry?Failed to download file C ! Do you want to retry?Warning");
    EXPECT_EQ(m[1].style, IconWarning | ButtonsYesNo);
    std::string log = LogText();
    for (std::size_t at; (at = log.find("KiteHTTP: ")) != std::string::npos;) log.erase(at, log.find("\r\n", at) + 2 - at);
    const std::string url = server->Url("/");
    EXPECT_EQ(log.substr(log.find("Downloading plugins")),
              "Downloading plugins\r\nA : to DL ? 1\r\nYes\r\nFile name : A.zip\r\nFile already on disk, delete it\r\n"
              "Try to download (" + url + "A.zip)... \r\nOK\r\nB : to DL ? 1\r\nYes\r\nFile name : B.zip\r\n"
              "Try to download (" + url + "B.zip)... \r\nError\r\nTry to download (" + url + "B.zip)... \r\nOK\r\n"
              "Skipped : to DL ? 0\r\nC : to DL ? 1\r\nYes\r\n"
              "File name : C.zip\r\nTry to download (" + url + "C.zip)... \r\nError\r\nEnd of downloading plugins\r\n" +
              (GetParam() == 1 ? "" : "Plugins to install : 2\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Connections, DownloadsAtOnce, ::testing::Values(1, 3));

// The install waits for a record until it and every one before it are settled: here the first,
// slow one, while the others were fetched meanwhile. The bar's second half is the install's.
TEST_F(DownloadTest, SeveralAtOnceTheInstallTakesThemInListOrder) {
    Serve(R"({"/A.zip": "pause-800"})", {"A.zip", "B.zip", "C.zip"});
    job.connections = 3;
    PrepareDownloadsAtOnce();
    const auto worker = platform::StartThread([](void* j) { DownloadThread(static_cast<DownloadJob*>(j)); }, &job);
    ASSERT_TRUE(worker);
    ASSERT_TRUE(AwaitDownloadsUpTo(0));
    EXPECT_EQ(state.plugins.front().outcome.stage, PluginStage::Downloaded);
    EXPECT_EQ(server->Requests().size(), 3u);  // B and C asked for before A was done
    for (std::size_t i = 1; i <= 3; ++i) ASSERT_TRUE(AwaitDownloadsUpTo(i));
    for (const PluginRecord& r : state.plugins) EXPECT_EQ(ReadWholeFile(work / r.outcome.workFile), Content(r.name));
    for (int i = 0; i < 3; ++i) NoteArchiveInstalled();
    EXPECT_EQ(ui.Progress(TotalProgressBar).back(), 200);
    for (int i = 0; i < 500 && platform::ThreadRunning(worker); ++i) platform::SleepMs(10);
}

// Six archives of one server and eight connections: four at once, no more. Ending the run stops
// every transfer and leaves no part file.
TEST_F(DownloadTest, NoMoreThanFourToOneServerAndTheEndStopsThemAll) {
    Serve(R"({"/1.zip": "stall", "/2.zip": "stall", "/3.zip": "stall", "/4.zip": "stall", "/5.zip": "stall",
              "/6.zip": "stall"})", {"1.zip", "2.zip", "3.zip", "4.zip", "5.zip", "6.zip"});
    for (int i = 1; i <= 6; ++i) WriteWholeFile(root / (std::to_string(i) + ".zip"), std::string(200000, 's'));
    job.connections = 8;
    ui.answerer = [](const EventUi::MessageCall&) { return AnswerNo; };
    PrepareDownloadsAtOnce();
    ASSERT_TRUE(platform::StartThread([](void* j) { DownloadThread(static_cast<DownloadJob*>(j)); }, &job));
    for (int i = 0; i < 500 && server->Requests().size() < 4; ++i) platform::SleepMs(10);
    platform::SleepMs(300);  // time enough for a fifth request, were one allowed
    EXPECT_EQ(server->Requests().size(), 4u);
    EXPECT_TRUE(CloseShutdownGate(3000));  // the transfer is broken off, not left to the idle limit
    platform::SleepMs(200);  // the workers ask their last question and park
    EXPECT_TRUE(platform::ListFiles(work.path()).empty());
}

TEST_F(DownloadTest, WithoutLengthTheFileBarStaysAndPacedHeadingsEndOnTheTotal) {
    Serve(R"({"/N.zip": "nolength", "/S.zip": "split-body"})", {"N.zip", "S.zip"});
    WriteWholeFile(root / "N.zip", std::string(300000, 'n'));
    WriteWholeFile(root / "S.zip", std::string(40960, 's'));  // 160 writes 5 ms apart
    const uint32_t start = platform::TickCount();
    DownloadThread(&job);
    const uint32_t took = platform::TickCount() - start;
    EXPECT_EQ(job.count, 2);
    const std::vector<std::string> shown = ui.Values("text", HeadingText), events = ui.Events();
    const auto s = std::find_if(shown.begin(), shown.end(), [](const std::string& h) { return h.find("S.zip") != h.npos; });
    ASSERT_NE(s, shown.begin());
    EXPECT_EQ(s[-1].rfind("Downloading: N.zip (292KB @ ", 0), 0u);  // N's final value
    EXPECT_EQ(shown.back().rfind("Downloading: S.zip (40KB @ ", 0), 0u);
    EXPECT_LE(static_cast<uint32_t>(shown.end() - s), took / 50 + 3);  // one per 50 ms at most
    const auto nEnd = std::find(events.begin(), events.end(), "text 31 " + s[-1]);
    EXPECT_EQ(std::count_if(events.begin(), nEnd, [](const std::string& e) { return e.find("progress 14") == 0; }), 0);
    const std::vector<int> bar = ui.Progress(installprog);  // N, without a length, left it alone
    EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()) && bar.size() <= took / 50 + 3);
    EXPECT_EQ(bar.back(), 100);
}

// Without a window the worker's texts and bars go nowhere and its question gets no button, so a
// failure is not retried; a refused connection's line says why.
TEST_F(DownloadTest, WithoutAWindowTheWorkGoesOnAndARefusalSaysWhy) {
    Serve("{}", {"A.zip", "B.zip"});
    PluginServer gone(root.path());
    ASSERT_TRUE(gone.ready());
    gone.Stop();
    state.plugins.back().url = gone.Url("/B.zip");
    SetUi(nullptr);
    DownloadThread(&job);
    ASSERT_NE(CurrentUi(), nullptr);
    EXPECT_EQ(ShowMessage("?", IconQuestion, ButtonsYesNo), 0);
    EXPECT_EQ(job.count, 1);
    EXPECT_TRUE(ui.Events().empty() && ui.Messages().empty());
    EXPECT_NE(LogText().find("B.zip)... \r\nError" + SystemReason(ECONNREFUSED) + "\r\nEnd of"), std::string::npos);
}

// Two links to one name, one with a query, one with a raw blank: each is fetched as written (the
// blank as %20) into a work file of its own.
TEST_F(DownloadTest, EveryLinkItsOwnWorkFileAndItsOwnTarget) {
    Serve("{}", {});
    WriteWholeFile(root / "plugin.zip", Content("plugin"));
    WriteWholeFile(root / "my plugin.zip", Content("my"));
    for (const char* link : {"/plugin.zip", "/plugin.zip?id=12", "/my plugin.zip"})
        state.plugins.push_back({link, server->Url(link), "", "", "", "", 1, {}});
    job.count = 3;
    DownloadThread(&job);
    EXPECT_EQ(job.count, 3);
    EXPECT_EQ(server->Targets(),
              (std::vector<std::string>{"/plugin.zip", "/plugin.zip?id=12", "/my%20plugin.zip"}));
    std::vector<std::string> fetched;
    for (const PluginRecord& r : state.plugins)
        fetched.push_back(r.outcome.workFile + "=" +
                          ReadWholeFile(work / r.outcome.workFile).value_or("").substr(0, 8));
    EXPECT_EQ(fetched, (std::vector<std::string>{"plugin.zip=plugin..", "plugin (2).zip=plugin..",
                                                 "my plugin.zip=my......"}));
}

TEST_F(DownloadTest, TheEndWaitsForTheTransferAndTheWorkerNeverComesBack) {
    Serve(R"({"/Slow.zip": "stall"})", {"Slow.zip", "Next.zip"});
    WriteWholeFile(root / "Slow.zip", std::string(200000, 's'));
    ui.Answer({AnswerNo});
    ASSERT_TRUE(platform::StartThread([](void* j) { DownloadThread(static_cast<DownloadJob*>(j)); }, &job));
    for (int i = 0; i < 500 && ui.GetText(HeadingText).empty(); ++i) platform::SleepMs(10);
    ASSERT_FALSE(ui.GetText(HeadingText).empty());  // the stalled transfer is under way
    EXPECT_TRUE(CloseShutdownGate(3000));  // the transfer is broken off, not left to the idle limit
    state.plugins.clear();
    platform::SleepMs(200);  // time enough for a worker that came back to make its next request
    EXPECT_TRUE(state.plugins.empty() && platform::ListFiles(work.path()).empty());
    EXPECT_EQ(server->Requests().size(), 1u);
}

}  // namespace
}  // namespace qvk
