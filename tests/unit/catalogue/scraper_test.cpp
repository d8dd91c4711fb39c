#include "catalogue/scraper.h"

#include <gtest/gtest.h>

#include "support/catalogue_pages.h"
#include "support/event_ui.h"
#include "texts/language.h"
#include "texts/text_helpers.h"

namespace qvk {
namespace {

using namespace test;
using Names = std::vector<std::string>;

const std::string kHost = "plugins.quorvane.org";

struct Scraped {
    ScrapeResult result;
    std::vector<std::string> log;
    Names names;
    bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
};

Scraped Scrape(const std::string& page, const std::string& realHost = "", const std::string& realUrl = "") {
    Scraped s;
    s.result = ScrapePage(page, kHost, realHost, realUrl, [&](const std::string& line) { s.log.push_back(line); });
    for (const PluginRecord& p : s.result.records) s.names.push_back(p.name);
    return s;
}

PageEntry Entry(const std::string& name, const std::string& info = "Ann / 1.0 / 5 KB") {
    return {name, "http://" + kHost + "/files/" + name + ".zip", "About " + name, info};
}

std::vector<PageEntry> Entries(std::initializer_list<const char*> names) {
    std::vector<PageEntry> entries;
    for (const char* n : names) entries.push_back(Entry(n));
    return entries;
}

TEST(ScraperLayouts, FirstLayoutGivesEveryFieldAndItsLog) {
    const std::string page =
        Layout0Page({{"Alpha", "http://h/a.zip", "One<br>Two", "Ann Lee / 1.0 01/02/2008 / 5 KB"}});
    const Scraped s = Scrape(page);
    ASSERT_EQ(s.result.records.size(), 1u);
    const PluginRecord& r = s.result.records.front();
    EXPECT_EQ(r.name + "|" + r.url + "|" + r.description + "|" + r.author + "|" + r.versionDate + "|" + r.size,
              "Alpha|http://h/a.zip|One\r\nTwo|Ann Lee|1.0 01/02/2008|5 KB");
    EXPECT_EQ(r.selected, 0);
    EXPECT_EQ(s.result.xnviewRecord, nullptr);
    // Positions count from 1.
    const std::string where = "EncS = " + std::to_string(page.find(kL0CountStart) + 1) +
                              " EncE = " + std::to_string(page.find(kCountEnd) + 1);
    EXPECT_EQ(s.log, (Names{"Getting number...", where, "Number : 1", "Parser start (to 1)",
                            "Get plugin name and plugin URL", "Alpha : http://h/a.zip", "Done !",
                            "Get plugin description", "One\r\nTwo", "Done !", "Get plugin informations",
                            "Ann Lee\xA0" "1.0 01/02/2008\xA0" "5 KB : Ann Lee : 1.0 01/02/2008 : 5 KB",
                            "Done !", "Parser end", "Get XnViewDLL..."}));
}

TEST(ScraperLayouts, EachLayoutWithEitherEndGivesTheSortedEntries) {
    for (int layout : {0, 1}) {
        for (bool tableEnd : {false, true}) {
            PageOptions o;
            o.tableEndOnly = tableEnd;
            const Scraped s = Scrape(LayoutPage(layout, Entries({"Blur", "Sharpen", "Emboss"}), o));
            ASSERT_TRUE(s.result.recognised);
            EXPECT_EQ(s.result.pageFormat, layout);
            EXPECT_EQ(s.result.countText, "3");
            EXPECT_EQ(s.Logged("It could be new plugins page version, trying..."), layout == 1);
            EXPECT_EQ(s.names, (Names{"Blur", "Emboss", "Sharpen"}));
            const PluginRecord& blur = s.result.records.front();
            EXPECT_EQ(blur.url + blur.description + blur.author + blur.size,
                      "http://" + kHost + "/files/Blur.zipAbout BlurAnn5 KB");
        }
    }
}

TEST(ScraperLayouts, CodePageBytesEntitiesAndInformationFieldsStayAsWritten) {
    const PageEntry accented = {"Caf\xE9 &amp; Cr\xE8me", "http://h/caf%E9.zip",
                                "Tr\xE8s &eacute;l\xE9gant<BR>Zweite Zeile<br />Dritte",
                                "Fran\xE7ois M\xFCller\xA0" "2.0\xA0" "1,2 Mo"};  // raw no-break spaces separate too
    const std::pair<PageEntry, std::string> cases[] = {
        {accented, "Caf\xE9 &amp; Cr\xE8me|http://h/caf%E9.zip|Tr\xE8s &eacute;l\xE9gant\r\nZweite Zeile\r\nDritte|"
                   "Fran\xE7ois M\xFCller|2.0|1,2 Mo"},
        {Entry("a", "Jean Paul Dupont / 1.0 2008 / 3 KB"), "a|Jean Paul Dupont|1.0 2008|3 KB"},
        {Entry("b", "Solo / 1.0"), "b|Solo|1.0|"},
        {Entry("c", "Plain spaces 1.0 3 KB"), "c|Plain spaces 1.0 3 KB||"},
        {Entry("d", " /  / 9 KB / extra"), "d|||9 KB"},
        {Entry("e", ""), "e|||"},
    };
    for (int layout : {0, 1}) {
        for (const auto& [entry, expected] : cases) {
            const Scraped s = Scrape(LayoutPage(layout, {entry}, {}));
            ASSERT_EQ(s.result.records.size(), 1u) << expected;
            const PluginRecord& r = s.result.records.front();
            const std::string head = r.name + (&entry == &cases[0].first ? "|" + r.url + "|" + r.description : "");
            EXPECT_EQ(head + "|" + r.author + "|" + r.versionDate + "|" + r.size, expected);
        }
    }
}

TEST(ScraperOrder, SortedByFoldedAsciiNameStableWithXnViewLast) {
    std::vector<PageEntry> entries =
        Entries({"gamma", "beta", "Alpha", "_tools", "\xC9toile", "Zeta", "alpha", "\xE9t\xE9", "ALPHA", "Beta2"});
    entries[6].url = "http://h/second.zip";  // equal names keep the page's order
    entries[8].url = "http://h/third.zip";
    PageOptions o;
    o.xnviewUrl = "http://h/XnViewDll.zip";
    for (int layout : {0, 1}) {
        const Scraped s = Scrape(LayoutPage(layout, entries, o));
        EXPECT_EQ(s.names, (Names{"_tools", "Alpha", "alpha", "ALPHA", "beta", "Beta2", "gamma", "Zeta",
                                  "\xC9toile", "\xE9t\xE9", "XnViewDll.zip"}));
        EXPECT_EQ(std::next(s.result.records.begin(), 2)->url, "http://h/second.zip");
        EXPECT_EQ(std::next(s.result.records.begin(), 3)->url, "http://h/third.zip");
        ASSERT_EQ(s.result.xnviewRecord, &s.result.records.back());
        EXPECT_EQ(s.result.xnviewRecord->url, "http://h/XnViewDll.zip");
        EXPECT_TRUE(s.Logged("Got !"));
    }
}

TEST(ScraperOrder, XnViewSectionOnlyAfterTheListAndWithAnAbsoluteLink) {
    const std::string list = Layout0Page(Entries({"One"}));
    PageOptions early, earlyWithoutCount;
    early.beforeList = std::string(kXnViewMarker) + "<a href=\"http://h/early.zip\">";
    earlyWithoutCount = early;
    earlyWithoutCount.countText = "no plugins";  // no entries read: the search starts at the count
    const std::pair<std::string, bool> cases[] = {
        {list, false},
        {list + kXnViewMarker + "<a href=\"dll/XnViewDll.zip\">x</a>", false},
        {list + kXnViewMarker + "<a href=\"http://h/XnViewDll.zip", false},  // a link that never ends
        {Layout0Page(Entries({"One"}), early), false},
        {Layout0Page(Entries({"One"}), earlyWithoutCount), true},
    };
    for (const auto& [page, found] : cases) {
        const Scraped s = Scrape(page);
        EXPECT_EQ(s.result.xnviewRecord != nullptr, found) << page;
        EXPECT_EQ(s.result.records.size(), 1u);  // without entries, the XnView record alone
    }
}

TEST(ScraperHosts, RealHostReplacesTheCatalogueHostInLinks) {
    PageOptions o;
    o.xnviewUrl = "http://" + kHost + "/dll/XnViewDll.zip";
    const std::vector<PageEntry> entries = {{"Mirror", "http://" + kHost + "/files/" + kHost + ".zip", "d", "a / b / c"},
                                            {"Other", "http://elsewhere.example/o.zip", "d", "a / b / c"}};
    const std::string mirrored = "http://127.0.0.3/files/127.0.0.3.zip";
    // Without a redirect nothing is replaced; with a real host but no real URL only entries are.
    const std::pair<std::string, Names> cases[] = {
        {"127.0.0.3/plugins.php?lang=en", {mirrored, entries[1].url, "http://127.0.0.3/dll/XnViewDll.zip"}},
        {"", {mirrored, entries[1].url, o.xnviewUrl}}};
    for (const auto& [realUrl, urls] : cases) {
        Names got;
        for (const PluginRecord& p : Scrape(Layout1Page(entries, o), "127.0.0.3", realUrl).result.records)
            got.push_back(p.url);
        EXPECT_EQ(got, urls);
    }
    EXPECT_EQ(Scrape(Layout1Page(entries, o)).result.records.front().url, entries[0].url);
}

TEST(ScraperCounts, OnlyTheAnnouncedAndRealEntriesOfTheListGiveRecords) {
    PageOptions three, more, far;
    three.countText = "3 plugins";
    // More announced than held, a plugin-like link before the list and entry-like markup after it.
    more.countText = "v2: 42 plugins";
    more.beforeList = "<a href=\"http://h/news.zip\">News</a>";
    more.afterList = std::string(kL1EntryStart) + "<a href=\"http://h/ghost.zip\">Ghost</a>" + kL1Separator +
                     kL0EntryStart + "<a href=\"http://h/ghost0.zip\">Ghost0</a>" + kL0Separator;
    // A separator further down the page must not swallow the list's end.
    far.afterList = std::string("<table><tr><td>x") + kL0Separator + "</td></tr></table>";
    for (int layout : {0, 1}) {
        EXPECT_EQ(Scrape(LayoutPage(layout, Entries({"e", "d", "c", "b", "a"}), three)).names, (Names{"c", "d", "e"}));
        const Scraped s = Scrape(LayoutPage(layout, Entries({"y", "x"}), more));
        EXPECT_EQ(s.result.countText, "242");
        EXPECT_EQ(CountValue("99999999999999999999"), 2147483647);
        EXPECT_EQ(s.names, (Names{"x", "y"}));
    }
    EXPECT_EQ(Scrape(Layout0Page({Entry("only", "A / B / C")}, far)).result.records.front().size, "C");
    // The last entry followed by a separator and nothing else: the search for a further entry
    // must not start over from the top, where an entry-like banner precedes the count.
    const std::string entry = std::string(kL1EntryStart) + "<a href=\"http://h/%.zip\">%</a></b>d<u>u</u></i><br>1 / 2 / 3" + kL1Separator;
    const std::string page = std::string("<table><tr><td>") + kL1EntryStart +
        "<a href=\"http://h/banner.zip\">Banner</a></td></tr></table>" + kL1CountStart + "4 plugins" + kCountEnd +
        "x\">r</a>)</b><table><tr><td width=\"105\"><img src=\"i\">" + ReplaceAll(entry, "%", "a") + "\"j\">" +
        ReplaceAll(entry, "%", "b") + "\"k\"></td></tr></table>";
    EXPECT_EQ(Scrape(page).names, (Names{"a", "b"}));
}

TEST(ScraperDefects, EntriesWithoutUsableLinkOrMarkers) {
    std::vector<PageEntry> entries = Entries({"good", "relative", "   ", "", "ftp", "upper"});
    entries[1].url = "files/relative.zip";
    entries[4].url = "ftp://h/ftp.zip";
    entries[5].url = "HTTP://H/upper.zip";
    EXPECT_EQ(Scrape(Layout1Page(entries)).names, (Names{"good", "upper"}));
    // Markup without href or "</a>", or without description or information markers.
    const std::pair<std::string, std::string> cases[] = {
        {"<a name=\"x\">No link</a></b>d<u>u</u></i><br>a / b / c", ""},
        {"<a href=\"http://h/x.zip\">Cut name", ""},
        {"", ""},
        {"<a href=\"http://h/x.zip\">Bare</a> and some more markup", "Bare||||"},
        {"<a href=\"http://h/y.zip\">NoInfo</a></b>Text<u>dl</u><i>no line", "NoInfo|Text|||"},
        {"<a href=\"http://h/z.zip\">NoEnd</a></b>Open text</i><br>a / b", "NoEnd||a|b|"},
    };
    for (const auto& [markup, expected] : cases) {
        PluginList list;
        EXPECT_EQ(ScrapeEntry(markup, kHost, "", 1, list), !expected.empty()) << markup;
        const PluginRecord r = list.empty() ? PluginRecord() : list.back();
        EXPECT_EQ(list.empty() ? "" : r.name + "|" + r.description + "|" + r.author + "|" + r.versionDate + "|" + r.size, expected);
    }
}

TEST(ScraperDefects, UnrecognisedAndCutPages) {
    for (const std::string& page : {std::string(), std::string("ab") + kL0CountStart + "3 plugins"}) {
        const Scraped s = Scrape(page);
        EXPECT_FALSE(s.result.recognised);
        EXPECT_TRUE(s.result.records.empty());
        EXPECT_EQ(s.log, (Names{"Getting number...", page.empty() ? "EncS = 0 EncE = 0" : "EncS = 3 EncE = 0",
                                "It could be new plugins page version, trying...", "Getting number...",
                                "EncS = 0 EncE = 0"}));
    }
    // Cut in the middle of the second of three entries: the first one stays.
    for (int layout : {0, 1}) {
        const std::string full = LayoutPage(layout, Entries({"a", "b", "c"}), {});
        EXPECT_EQ(Scrape(full.substr(0, full.find("About b") + 3)).names, Names{"a"});
    }
}

// The scraper as the catalogue thread calls it: the process-wide list, the job and the log box.
TEST(ScrapeCatalogue, FillsTheListTheJobAndTheLogBoxOrEndsTheProgram) {
    ResetState();
    FillLanguageTables();
    ScopedUi window;
    PageOptions o;
    o.xnviewUrl = "http://h/XnViewDll.zip";
    o.countText = "3 plugins";
    std::string page = Layout0Page(Entries({"beta", "Alpha", ""}), o);
    CatalogueJob job;
    EXPECT_EQ(ScrapeCatalogue(page, kHost, "", "", job), "3");
    EXPECT_TRUE(page.empty());
    ASSERT_EQ(state.plugins.size(), 3u);
    EXPECT_EQ(job.xnviewRecord, &state.plugins.back());
    EXPECT_EQ(window.ui.Values("line", CatalogueLog), (Names{"3 plugins found: ", "Alpha", "beta"}));
    // No XnView section: the job's reference stays as it was.
    PluginRecord before;
    job.xnviewRecord = &before;
    page = Layout1Page(Entries({"gamma"}));
    EXPECT_EQ(ScrapeCatalogue(page, kHost, "", "", job), "1");
    EXPECT_EQ(job.xnviewRecord, &before);
    page = "<html><body>Maintenance</body></html>";
    window.ui.Answer({AnswerOk});
    EXPECT_EXIT(ScrapeCatalogue(page, kHost, "", "", job), ::testing::ExitedWithCode(0),
                "\\[message\\] The list format is not correct\\.");
    ResetState();
}

}  // namespace
}  // namespace qvk
