// The catalogue thread against real loopback servers (tools/plugin_server.py), in a scratch
// working folder, with a window that records what it was shown.
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include "catalogue/scraper.h"
#include "diagnostics/debug_mode.h"
#include "support/catalogue_pages.h"
#include "support/core_test.h"
#include "support/plugin_server.h"

namespace qvk {
namespace {

using namespace test;
using Texts = std::vector<std::string>;

// The same page with line breaks of every kind scattered through it, markers included.
std::string WithLineBreaks(const std::string& page) {
    const char* const breaks[] = {"\r\n", "\n", "\r", "\r\n\r\n"};
    std::string out;
    for (std::size_t i = 0; i < page.size(); i += 37) out += page.substr(i, 37) + breaks[i / 37 % 4];
    return out;
}

std::string Page(int layout, int n, const std::string& host = "h", const std::string& xnview = "") {
    std::vector<PageEntry> entries = GeneratedEntries(n);
    for (PageEntry& e : entries) e.url = "http://" + host + "/files/" + e.name + ".zip";
    PageOptions o;
    o.xnviewUrl = xnview;
    return LayoutPage(layout, entries, o);
}

std::string RedirectPage(const std::string& target) {
    return "<html><head><title>ORT - Ovh Redirect Technology</title>\n<meta name=\"url\" content=\"" +
           target + "\">\n</head><body>Redirecting...</body></html>\n";
}

class CatalogueThreadTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        job.path = kDefaultCataloguePath;
    }
    // The catalogue job asks the last server started.
    std::unique_ptr<PluginServer> Serve(const ScratchDir& root, const std::string& rules = "{}") {
        auto server = test::Serve(root, rules);
        job.host = server->address();
        return server;
    }
    ScratchDir rootA, rootB;
    CatalogueJob job;
};

// (The second layout comes through the thread in the redirect test.)
TEST_F(CatalogueThreadTest, ReadsThePageWhateverItsLineBreaks) {
    auto server = Serve(rootA);
    const std::string page = Page(0, 60, job.host, "http://" + job.host + "/dll/XnViewDll.zip");
    WriteWholeFile(rootA / "plugins.php", WithLineBreaks(page));
    CatalogueThread(&job);
    const ScrapeResult expected = ScrapePage(page, job.host, "", "");
    ASSERT_EQ(state.plugins.size(), 61u);
    auto want = expected.records.begin();
    for (auto got = state.plugins.begin(); got != state.plugins.end(); ++got, ++want)
        EXPECT_EQ(got->name + got->url + got->description + got->size,
                  want->name + want->url + want->description + want->size);
    EXPECT_EQ(job.xnviewRecord, &state.plugins.back());
    // The log box: the count, then the names in the list's order, without the XnView record.
    const Texts lines = ui.Values("line", CatalogueLog);
    ASSERT_EQ(lines.size(), 61u);
    EXPECT_EQ(lines.front(), "60 plugins found: ");
    EXPECT_EQ(lines.back(), std::prev(state.plugins.end(), 2)->name);
    // The page is larger than one receive: the heading shows the progress of the chunks.
    const Texts headings = ui.Values("text", HeadingText);
    ASSERT_GE(headings.size(), 4u);
    EXPECT_EQ(headings[1].rfind("Connected to server. Downloading the file. (", 0), 0u);
    EXPECT_EQ(Texts(headings.end() - 2, headings.end()),
              (Texts{"File downloaded successfully. Analysing file...", "End of analysis."}));
    const std::vector<int> bar = ui.Progress(installprog);
    ASSERT_GE(bar.size(), 2u);
    EXPECT_EQ(std::vector<int>(bar.end() - 2, bar.end()), (std::vector<int>{100, 102}));
}

TEST_F(CatalogueThreadTest, FollowsTheRedirectPageToAnotherServerAndLogsEachStep) {
    auto b = Serve(rootB);
    auto a = Serve(rootA, R"({"/plugins.php": {"mode": "status-302", "file": "redirect.html"}})");
    WriteWholeFile(rootA / "redirect.html", RedirectPage(b->address() + "/plugins.php?lang=en"));
    // The mirror's page still names the first host in its links.
    WriteWholeFile(rootB / "plugins.php", Page(1, 3, a->address(), "http://" + a->address() + "/dll/XnViewDll.zip"));
    ActivateDebug();
    CatalogueThread(&job);
    CloseLog();
    EXPECT_EQ(a->Targets(), Texts{"/plugins.php"});
    EXPECT_EQ(b->Targets(), Texts{"/plugins.php?lang=en"});
    ASSERT_EQ(state.plugins.size(), 4u);
    for (const PluginRecord& p : state.plugins) EXPECT_EQ(p.url.rfind("http://" + b->address() + "/", 0), 0u) << p.url;
    EXPECT_EQ(job.countOrKeep, 3);
    const std::vector<int> bar = ui.Progress(installprog);
    EXPECT_NE(std::find(bar.begin(), bar.end(), 1), bar.end());
    // The thread's own lines, in order, between whatever else the log holds.
    const std::string log = ReadWholeFile(kLogFileName).value_or("");
    std::size_t at = 0;
    const Texts steps = {"Using URL : http://" + a->address() + "/plugins.php",
                         "Real URL found : " + b->address() + "/plugins.php?lang=en", "Redirect...",
                         "Download file", "Displaying results", "Step finished"};
    for (const std::string& line : steps) {
        at = log.find(line + "\r\n", at);
        ASSERT_NE(at, std::string::npos) << line;
    }
}

TEST_F(CatalogueThreadTest, LocalCopyUnlessEmptyTheKeepFlagAndAPageInNeitherLayout) {
    auto server = Serve(rootA);
    PluginRecord before;
    job.xnviewRecord = &before;
    const std::string served = WithLineBreaks(Page(0, 2));
    WriteWholeFile(rootA / "plugins.php", served);
    WriteWholeFile(kLocalCatalogueFile, WithLineBreaks(Page(1, 5)));
    CatalogueThread(&job);
    EXPECT_TRUE(server->Requests().empty());
    EXPECT_EQ(ui.Progress(installprog), std::vector<int>{102});
    EXPECT_EQ(state.plugins.size(), 5u);
    EXPECT_EQ(job.xnviewRecord, &before);  // no XnView section: left as it was
    EXPECT_TRUE(PathExists(kLocalCatalogueFile));
    // An empty local copy is ignored; the keep flag's low 8 bits keep the downloaded page.
    WriteWholeFile(kLocalCatalogueFile, "");
    for (int keep : {256, 1}) {
        ResetState();
        job.countOrKeep = keep;
        CatalogueThread(&job);
        EXPECT_EQ(state.plugins.size(), 2u);
        EXPECT_EQ(job.countOrKeep, 2);
        EXPECT_EQ(ReadWholeFile(kCatalogueFile).value_or("(none)"), keep == 1 ? served : "(none)");
    }
    // What the server gave is no catalogue: the program ends once the user has read why.
    WriteWholeFile(rootA / "plugins.php", "<html><body>Maintenance</body></html>");
    ui.Answer({AnswerOk});
    EXPECT_EXIT(CatalogueThread(&job), ::testing::ExitedWithCode(0),
                "\\[message\\] The list format is not correct\\.");
}

TEST_F(CatalogueThreadTest, FailedAttemptsAskAndNoEndsTheProgram) {
    auto server = Serve(rootA, R"({"/plugins.php": "status-404"})");
    ui.Answer({AnswerNo});
    EXPECT_EXIT(CatalogueThread(&job), ::testing::ExitedWithCode(0),
                "\\[message\\] Failed to download file ! Do you want to retry\\?");
    EXPECT_FALSE(PathExists(kCataloguePartFile) || PathExists(kCatalogueFile));
    // Yes tries again: first a 404, then a page of blank lines, then the real page.
    WriteWholeFile(rootA / "plugins.php", "   \r\n\r\n  \n");
    const std::size_t before = server->Requests().size();
    int shown = 0;
    ui.onMessage = [&] {
        if (++shown == 1) WriteWholeFile(rootA / "rules.json", "{}");
        else WriteWholeFile(rootA / "plugins.php", Page(0, 2));
    };
    ui.Answer({AnswerYes, AnswerYes});
    CatalogueThread(&job);
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].title, "Error");  // its text: the first question's, above
    EXPECT_EQ(messages[1].style, IconError | ButtonsYesNo);
    EXPECT_EQ(server->Requests().size() - before, 3u);
    EXPECT_EQ(state.plugins.size(), 2u);
    EXPECT_TRUE(ui.Has("text 31 Failed to download file."));
    EXPECT_EQ(ui.Events().back(), "enable 10 1");
}

TEST_F(CatalogueThreadTest, RedirectsAreBoundedAndYesRetriesTheRightPage) {
    // A failed redirect target is retried; an endless chain of redirect pages (five hops) or of
    // 301/302 replies (the sixth) is given up, and Yes starts those over from the catalogue.
    const std::string first = R"("/plugins.php": {"mode": "normal", "file": "first.html"})";
    const std::string hop = R"(, "/hop.php": {"mode": "normal", "file": "hop.html"})";
    const std::string moved = R"("/plugins.php": {"mode": "status-301", "location": "list.php"})";
    const std::string loop = R"(, "/list.php": {"mode": "status-302", "location": "/list.php"})";
    const std::string again = "/hop.php?again", list = "/list.php";
    const struct {
        std::string rules, first, target, rulesAfter;
        std::size_t asked;
        Texts targets;
    } cases[] = {
        {first, "/target.php", "target.php", "", 2, {"/plugins.php", "/target.php", "/target.php"}},
        {first + hop, "/hop.php", "first.html", "", 6,
         {"/plugins.php", "/hop.php", again, again, again, again, "/plugins.php"}},
        {moved + loop, "", "list.php", moved, 6,
         {"/plugins.php", list, list, list, list, list, "/plugins.php", list}},
    };
    for (const auto& c : cases) {
        ResetState();
        const std::size_t messages = ui.Messages().size();
        auto server = Serve(rootA, "{" + c.rules + "}");
        WriteWholeFile(rootA / "first.html", RedirectPage(job.host + c.first));
        WriteWholeFile(rootA / "hop.html", RedirectPage(job.host + again));
        std::size_t requestsAtQuestion = 0;
        ui.onMessage = [&] {
            requestsAtQuestion = server->Requests().size();
            if (!c.rulesAfter.empty()) WriteWholeFile(rootA / "rules.json", "{" + c.rulesAfter + "}");
            WriteWholeFile(rootA / c.target, Page(1, 3));
        };
        ui.Answer({AnswerYes});
        CatalogueThread(&job);
        EXPECT_EQ(requestsAtQuestion, c.asked) << c.target;
        EXPECT_EQ(server->Targets(), c.targets);
        EXPECT_EQ(ui.Messages().size() - messages, 1u) << c.target;
        EXPECT_EQ(state.plugins.size(), 3u);
    }
}

TEST(CatalogueAddresses, LanguageOnlyForTheBuiltInCatalogueAndTheRedirectTarget) {
    ResetState();
    FillLanguageTables();
    const std::string d = kDefaultCatalogueHost, p = kDefaultCataloguePath;
    state.language = 2;
    EXPECT_EQ(CatalogueUrl(d, p), d + "/plugins.php?lang=de");
    EXPECT_EQ(CatalogueUrl("127.0.0.9", p), "127.0.0.9/plugins.php");
    EXPECT_EQ(CatalogueUrl("https://" + d, p), "https://" + d + "/plugins.php?lang=de");
    EXPECT_EQ(CatalogueUrl(d, "/list.php"), d + "/list.php");
    ResetState();
    const char* hosts[][4] = {{"mirror.example/plugins.php?lang=en", "", "", "mirror.example"},
                              {"mirror.example/sub/plugins.php", "", "", "mirror.example/sub"},
                              {"mirror.example/other.php?x=/plugins.php", "", "", ""},
                              {"mirror.example/list.php?lang=en", "own.example", "/list.php", "mirror.example"}};
    for (const auto& h : hosts) EXPECT_EQ(RedirectHost(h[0], *h[1] ? h[1] : d, *h[2] ? h[2] : p), h[3]) << h[0];
    EXPECT_EQ(RedirectTarget(RedirectPage("h/plugins.php?lang=fr")), "h/plugins.php?lang=fr");
    for (const char* page : {"<meta name=\"url\" content=\"h/p\">",  // no signature
                             "ORT - Ovh Redirect Technology <meta name=\"url\" content=\"h"})
        EXPECT_EQ(RedirectTarget(page), "") << page;
}

}  // namespace
}  // namespace qvk
