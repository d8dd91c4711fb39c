// The catalogue thread against real loopback servers (tools/plugin_server.py), in a scratch
// working folder, with a window that records what it was shown.
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "catalogue/scraper.h"
#include "diagnostics/log.h"
#include "driver/shutdown_gate.h"
#include "driver/state.h"
#include "support/catalogue_pages.h"
#include "support/event_ui.h"
#include "support/plugin_server.h"
#include "support/test_support.h"
#include "texts/language.h"

namespace qvk {
namespace {

using test::PathExists;
using test::PluginServer;
using test::ReadWholeFile;
using test::ScratchDir;
using test::WriteWholeFile;
using test::PageEntry;
using test::PageOptions;

const std::string kRequestTail =
    "\r\nConnection: Close\r\nUser-Agent: Mozilla/5.0 (compatible; QVK/1.5.0.0; Windows) \r\n\r\n";

std::string Request(const std::string& target, const std::string& host) {
    return "GET " + target + " HTTP/1.0\r\nhost: " + host + kRequestTail;
}

std::vector<std::string> Targets(const PluginServer& server) {
    std::vector<std::string> targets;
    for (const std::string& raw : server.Requests()) {
        const std::size_t end = raw.find(" HTTP/1.0\r\n");
        targets.push_back(end == std::string::npos || raw.compare(0, 4, "GET ") != 0
                              ? "?" : raw.substr(4, end - 4));
    }
    return targets;
}

// The same page with line breaks of every kind scattered through it, markers included.
std::string WithLineBreaks(const std::string& page) {
    const char* const breaks[] = {"\r\n", "\n", "\r", "\r\n\r\n"};
    std::string out;
    for (std::size_t i = 0; i < page.size(); i += 37) {
        out += page.substr(i, 37);
        out += breaks[(i / 37) % 4];
    }
    return out;
}

std::vector<PageEntry> EntriesOn(const std::string& host, int n) {
    std::vector<PageEntry> entries = test::GeneratedEntries(n);
    for (PageEntry& e : entries) e.url = "http://" + host + "/files/" + e.name + ".zip";
    return entries;
}

std::string RedirectPage(const std::string& target) {
    return "<html><head><title>ORT - Ovh Redirect Technology</title>\n<meta name=\"url\" content=\"" +
           target + "\">\n</head><body>Redirecting...</body></html>\n";
}

// "Connected to server. Downloading the file. (<n>KB @ <d>.<6 digits>KB/s)"
bool IsProgressText(const std::string& text) {
    const std::string prefix = "Connected to server. Downloading the file. (";
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    std::size_t i = prefix.size();
    auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - from;
    };
    auto literal = [&](const std::string& word) {
        if (text.compare(i, word.size(), word) != 0) return false;
        i += word.size();
        return true;
    };
    return digits() > 0 && literal("KB @ ") && digits() > 0 && literal(".") && digits() == 6 &&
           literal("KB/s)") && i == text.size();
}

class CatalogueThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        ResetShutdownGateForTests();
        FillLanguageTables();
        job.path = kDefaultCataloguePath;
    }
    void TearDown() override { ResetState(); }

    // A server on its own loopback address, serving `root` with the rules in root/rules.json.
    std::unique_ptr<PluginServer> Serve(const ScratchDir& root, const std::string& rules = "{}") {
        WriteWholeFile(root / "rules.json", rules);
        std::remove((root / ".requests.jsonl").c_str());  // a root may serve more than once
        auto server = std::make_unique<PluginServer>(root.path(), root / "rules.json");
        if (!server->ready()) ADD_FAILURE() << "plugin server did not start";
        return server;
    }

    test::ScratchFolder work;  // the thread's current folder
    ScratchDir rootA, rootB;
    test::ScopedUi window;
    test::EventUi& ui = window.ui;
    CatalogueJob job;
};

TEST_F(CatalogueThreadTest, ReadsEachLayoutWhateverItsLineBreaks) {
    for (int layout = 0; layout < 2; ++layout) {
        SCOPED_TRACE(layout);
        ResetState();
        auto server = Serve(rootA);
        ASSERT_TRUE(server->ready());
        const std::string& host = server->address();
        PageOptions o;
        o.xnviewUrl = "http://" + host + "/dll/XnViewDll.zip";
        const std::vector<PageEntry> entries = EntriesOn(host, 60);
        const std::string page = layout == 0 ? test::Layout0Page(entries, o)
                                             : test::Layout1Page(entries, o);
        WriteWholeFile(rootA / "plugins.php", WithLineBreaks(page));
        const ScrapeResult expected = ScrapePage(page, host, "", "");
        ASSERT_EQ(expected.records.size(), 61u);

        test::ScopedUi fresh;
        job = CatalogueJob();
        job.host = host;
        job.path = kDefaultCataloguePath;
        CatalogueThread(&job);

        // Not the built-in host: no language suffix.
        EXPECT_EQ(server->Requests(), std::vector<std::string>{Request("/plugins.php", host)});
        EXPECT_EQ(job.countOrKeep, 60);
        ASSERT_EQ(state.plugins.size(), expected.records.size());
        auto want = expected.records.begin();
        for (const PluginRecord& got : state.plugins) {
            EXPECT_EQ(got.name, want->name);
            EXPECT_EQ(got.url, want->url);
            EXPECT_EQ(got.description, want->description);
            EXPECT_EQ(got.size, want->size);
            ++want;
        }
        EXPECT_EQ(state.plugins.front().description,
                  "Applies the effect number " + state.plugins.front().name.substr(7) +
                      ".\r\nWorks with 8 and 24 bit images.");
        ASSERT_NE(job.xnviewRecord, nullptr);
        EXPECT_EQ(job.xnviewRecord, &state.plugins.back());
        EXPECT_EQ(fresh.ui.Lines(CatalogueLog).size(), 61u);
        EXPECT_EQ(fresh.ui.Lines(CatalogueLog).front(), "60 plugins found: ");

        // The page is larger than one receive: the heading shows the progress of the chunks.
        const std::vector<std::string> headings = fresh.ui.Texts(HeadingText);
        ASSERT_GE(headings.size(), 4u);
        EXPECT_EQ(headings.front(), "Connected to server. Downloading the file.");
        EXPECT_TRUE(IsProgressText(headings[1])) << headings[1];
        EXPECT_EQ(headings[headings.size() - 2], "File downloaded successfully. Analysing file...");
        EXPECT_EQ(headings.back(), "End of analysis.");
        const std::vector<int> bar = fresh.ui.Progress(installprog);
        ASSERT_GE(bar.size(), 3u);
        for (std::size_t i = 1; i + 2 < bar.size(); ++i) EXPECT_LE(bar[i - 1], bar[i]);
        EXPECT_EQ(bar[bar.size() - 2], 100);
        EXPECT_EQ(bar.back(), 102);
        // Next is enabled last of all.
        EXPECT_EQ(fresh.ui.Events().back(), "enable 10 1");
        EXPECT_FALSE(PathExists(kCatalogueFile));
        EXPECT_FALSE(PathExists(kCataloguePartFile));
    }
}

TEST_F(CatalogueThreadTest, FollowsTheRedirectPageToAnotherServer) {
    auto b = Serve(rootB);
    auto a = Serve(rootA, R"({"/plugins.php": {"mode": "status-302", "file": "redirect.html"}})");
    ASSERT_TRUE(a->ready() && b->ready());
    WriteWholeFile(rootA / "redirect.html", RedirectPage(b->address() + "/plugins.php?lang=en"));
    PageOptions o;
    o.xnviewUrl = "http://" + a->address() + "/dll/XnViewDll.zip";
    // The mirror's page still names the first host in its links.
    WriteWholeFile(rootB / "plugins.php", test::Layout1Page(EntriesOn(a->address(), 3), o));
    job.host = a->address();

    ActivateDebug();
    CatalogueThread(&job);
    CloseLog();

    EXPECT_EQ(a->Requests(), std::vector<std::string>{Request("/plugins.php", a->address())});
    EXPECT_EQ(b->Requests(),
              std::vector<std::string>{Request("/plugins.php?lang=en", b->address())});
    ASSERT_EQ(state.plugins.size(), 4u);
    for (const PluginRecord& p : state.plugins)
        EXPECT_EQ(p.url.rfind("http://" + b->address() + "/", 0), 0u) << p.url;
    EXPECT_EQ(job.countOrKeep, 3);
    const std::vector<int> bar = ui.Progress(installprog);
    EXPECT_NE(std::find(bar.begin(), bar.end(), 1), bar.end());

    // The thread's own lines, in order, between whatever else the log holds.
    const std::string log = ReadWholeFile(kLogFileName).value_or("");
    std::size_t at = 0;
    for (const std::string& line :
         {"Using URL : http://" + a->address() + "/plugins.php", std::string("Download file"),
          std::string("Is there OVH redirection ?"), std::string("Yes !"),
          "Real URL found : " + b->address() + "/plugins.php?lang=en", std::string("Redirect..."),
          std::string("Download file"), std::string("Is there OVH redirection ?"),
          std::string("Getting number..."), std::string("Displaying results"),
          std::string("Enable button"), std::string("Step finished")}) {
        const std::size_t found = log.find(line + "\r\n", at);
        ASSERT_NE(found, std::string::npos) << line;
        at = found + line.size();
    }
}

TEST_F(CatalogueThreadTest, LocalCopyReplacesTheDownloadUnlessEmpty) {
    auto server = Serve(rootA);
    ASSERT_TRUE(server->ready());
    job.host = server->address();
    WriteWholeFile(rootA / "plugins.php", test::Layout0Page(EntriesOn("h", 2)));
    WriteWholeFile(kLocalCatalogueFile, WithLineBreaks(test::Layout1Page(EntriesOn("h", 5))));

    CatalogueThread(&job);
    EXPECT_TRUE(server->Requests().empty());
    EXPECT_EQ(ui.Progress(installprog), std::vector<int>{102});
    EXPECT_EQ(state.plugins.size(), 5u);
    EXPECT_TRUE(PathExists(kLocalCatalogueFile));

    // An empty local copy is ignored.
    ResetState();
    WriteWholeFile(kLocalCatalogueFile, "");
    job.countOrKeep = 0;
    CatalogueThread(&job);
    EXPECT_EQ(server->Requests().size(), 1u);
    EXPECT_EQ(state.plugins.size(), 2u);
}

TEST_F(CatalogueThreadTest, KeepFlagKeepsTheDownloadedPage) {
    auto server = Serve(rootA);
    ASSERT_TRUE(server->ready());
    job.host = server->address();
    const std::string served = WithLineBreaks(test::Layout0Page(EntriesOn("h", 4)));
    WriteWholeFile(rootA / "plugins.php", served);

    job.countOrKeep = 1;
    CatalogueThread(&job);
    EXPECT_EQ(job.countOrKeep, 4);
    EXPECT_EQ(ReadWholeFile(kCatalogueFile).value_or(""), served);

    // Only the low 8 bits of the flag count.
    ResetState();
    job.countOrKeep = 256;
    CatalogueThread(&job);
    EXPECT_FALSE(PathExists(kCatalogueFile));
    EXPECT_EQ(job.countOrKeep, 4);
}

TEST_F(CatalogueThreadTest, NotFoundAnsweredNoEndsTheProgram) {
    auto server = Serve(rootA, R"({"/plugins.php": "status-404"})");
    ASSERT_TRUE(server->ready());
    job.host = server->address();
    ui.Answer({AnswerNo});
    EXPECT_EXIT(CatalogueThread(&job), ::testing::ExitedWithCode(0),
                "\\[message\\] Failed to download file ! Do you want to retry\\?");
    EXPECT_FALSE(PathExists(kCataloguePartFile));
    EXPECT_FALSE(PathExists(kCatalogueFile));
}

TEST_F(CatalogueThreadTest, FailedAttemptsAskAndYesTriesAgain) {
    // First a 404, then a page of blank lines: each brings the question; then the real page.
    auto server = Serve(rootA, R"({"/plugins.php": "status-404"})");
    ASSERT_TRUE(server->ready());
    job.host = server->address();
    WriteWholeFile(rootA / "plugins.php", "   \r\n\r\n  \n");
    int shown = 0;
    ui.onMessage = [&] {
        if (++shown == 1) WriteWholeFile(rootA / "rules.json", "{}");
        else WriteWholeFile(rootA / "plugins.php", test::Layout0Page(EntriesOn("h", 2)));
    };
    ui.Answer({AnswerYes, AnswerYes});
    CatalogueThread(&job);

    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Failed to download file ! Do you want to retry?");
    EXPECT_EQ(messages[0].title, "Error");
    EXPECT_EQ(messages[0].style, IconError | ButtonsYesNo);
    EXPECT_EQ(server->Requests().size(), 3u);
    EXPECT_EQ(state.plugins.size(), 2u);
    const auto headings = ui.Texts(HeadingText);
    EXPECT_NE(std::find(headings.begin(), headings.end(), "Failed to download file."), headings.end());
    EXPECT_EQ(ui.Events().back(), "enable 10 1");
}

TEST_F(CatalogueThreadTest, FailedRedirectTargetAsksInsteadOfLooping) {
    auto server = Serve(rootA, R"({"/plugins.php": {"mode": "normal", "file": "redirect.html"}})");
    ASSERT_TRUE(server->ready());
    job.host = server->address();
    WriteWholeFile(rootA / "redirect.html", RedirectPage(server->address() + "/target.php"));
    std::size_t requestsAtQuestion = 0;
    ui.onMessage = [&] {
        requestsAtQuestion = server->Requests().size();
        WriteWholeFile(rootA / "target.php", test::Layout1Page(EntriesOn("h", 1)));
    };
    ui.Answer({AnswerYes});
    CatalogueThread(&job);

    EXPECT_EQ(requestsAtQuestion, 2u);
    // Yes retries the redirect target, not the catalogue.
    EXPECT_EQ(Targets(*server),
              (std::vector<std::string>{"/plugins.php", "/target.php", "/target.php"}));
    EXPECT_EQ(state.plugins.size(), 1u);
}

TEST_F(CatalogueThreadTest, EndlessRedirectChainStopsAfterFiveHops) {
    auto server = Serve(rootA, R"({"/plugins.php": {"mode": "normal", "file": "first.html"},
                                   "/hop.php": {"mode": "normal", "file": "hop.html"}})");
    ASSERT_TRUE(server->ready());
    job.host = server->address();
    WriteWholeFile(rootA / "first.html", RedirectPage(server->address() + "/hop.php"));
    WriteWholeFile(rootA / "hop.html", RedirectPage(server->address() + "/hop.php?again"));
    std::size_t requestsAtQuestion = 0;
    ui.onMessage = [&] {
        requestsAtQuestion = server->Requests().size();
        WriteWholeFile(rootA / "first.html", test::Layout0Page(EntriesOn("h", 3)));
    };
    ui.Answer({AnswerYes});
    CatalogueThread(&job);

    EXPECT_EQ(requestsAtQuestion, 1u + kMaxRedirectHops);
    // After Yes the chain starts over from the catalogue itself.
    EXPECT_EQ(Targets(*server),
              (std::vector<std::string>{"/plugins.php", "/hop.php", "/hop.php?again",
                                        "/hop.php?again", "/hop.php?again", "/hop.php?again",
                                        "/plugins.php"}));
    EXPECT_EQ(state.plugins.size(), 3u);
    EXPECT_EQ(job.countOrKeep, 3);
}

TEST(CatalogueAddresses, LanguageSuffixOnlyForTheBuiltInCatalogue) {
    ResetState();
    FillLanguageTables();
    EXPECT_EQ(CatalogueUrl(kDefaultCatalogueHost, "/plugins.php"),
              std::string(kDefaultCatalogueHost) + "/plugins.php?lang=en");
    state.language = 2;
    EXPECT_EQ(CatalogueUrl(kDefaultCatalogueHost, "/plugins.php"),
              std::string(kDefaultCatalogueHost) + "/plugins.php?lang=de");
    EXPECT_EQ(CatalogueUrl("127.0.0.9", "/plugins.php"), "127.0.0.9/plugins.php");
    EXPECT_EQ(CatalogueUrl(kDefaultCatalogueHost, "/list.php"),
              std::string(kDefaultCatalogueHost) + "/list.php");
    ResetState();
}

TEST(CatalogueAddresses, RedirectTargetAndHost) {
    const std::string d = kDefaultCatalogueHost, p = kDefaultCataloguePath;
    EXPECT_EQ(RedirectHost("mirror.example/plugins.php?lang=en", d, p), "mirror.example");
    EXPECT_EQ(RedirectHost("mirror.example/sub/plugins.php", d, p), "mirror.example/sub");
    EXPECT_EQ(RedirectHost("mirror.example/other.php?x=/plugins.php", d, p), "");
    EXPECT_EQ(RedirectHost("mirror.example/list.php", "own.example", "/list.php"), "mirror.example");
    EXPECT_EQ(RedirectHost("mirror.example/list.php?lang=en", "own.example", "/list.php"),
              "mirror.example");

    EXPECT_EQ(RedirectTarget(RedirectPage("h/plugins.php?lang=fr")), "h/plugins.php?lang=fr");
    EXPECT_EQ(RedirectTarget("<meta name=\"url\" content=\"h/p\">"), "");  // no signature
    EXPECT_TRUE(IsRedirectPage("x ORT - Ovh Redirect Technology <meta name=\"url\" content=\"h"));
    EXPECT_EQ(RedirectTarget("ORT - Ovh Redirect Technology <meta name=\"url\" content=\"h"), "");
    EXPECT_EQ(RedirectTarget("ORT - Ovh Redirect Technology <meta name=\"url\" content=\"\">"), "");
}

TEST(CatalogueFiles, LinesAreJoinedWithoutTheirBreaks) {
    test::ScratchFolder work;
    WriteWholeFile("page.txt", std::string("one\r\ntwo\nthree\rfour\r\n\r\nfive\n\r\xE9\0z", 32));
    std::string text = "old";
    ASSERT_TRUE(ReadPageFile("page.txt", text));
    EXPECT_EQ(text, std::string("onetwothreefourfive\xE9\0z", 22));
    text = "kept";
    EXPECT_FALSE(ReadPageFile("missing.txt", text));
    EXPECT_EQ(text, "kept");
}

TEST(TransferProgress, BarAndHeadingFromTheTransfer) {
    ResetState();
    FillLanguageTables();
    test::ScopedUi window;
    kite::HttpTransfer t;
    t.localFile = "C:\\Temp\\qvk\\blur.zip";
    t.showName = 1;
    t.state = kite::Data;
    t.contentLength = 400 * 1024;
    t.received = 120 * 1024 + 1023;
    t.speed = 35.5f;
    // Each call as a transfer of its own (state 0 first), so that pacing holds nothing back.
    const auto show = [&](int s) {
        t.state = kite::Init;
        ShowTransferProgress(&t);
        t.state = s;
        ShowTransferProgress(&t);
    };
    show(kite::Data);
    EXPECT_EQ(window.ui.Texts(HeadingText),
              std::vector<std::string>{"Downloading: blur.zip (120KB @ 35.500000KB/s)"});
    EXPECT_EQ(window.ui.Progress(installprog), std::vector<int>{30});

    t.showName = 0;
    t.localFile = "a/b/qvk-plugins.txt";
    state.language = 0;
    show(kite::Data);
    EXPECT_EQ(window.ui.Texts(HeadingText).back(),
              "Connexion au serveur r\xE9ussi. R\xE9" "cup\xE9ration du fichier. (120Ko @ 35.500000Ko/s)");

    // Other states move the bar only, from Header on and with a known length.
    const std::size_t headings = window.ui.Texts(HeadingText).size();
    t.received = 3 * 400 * 1024;  // more than announced
    show(kite::Header);
    t.contentLength = -5;
    show(kite::Header);
    t.contentLength = 0;
    show(kite::Header);
    t.contentLength = 100;
    show(kite::Connected);
    EXPECT_EQ(window.ui.Progress(installprog), (std::vector<int>{30, 30, 100, 0}));
    EXPECT_EQ(window.ui.Texts(HeadingText).size(), headings);
    ResetState();
}

}  // namespace
}  // namespace qvk
