#include "catalogue/scraper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "driver/state.h"
#include "support/catalogue_pages.h"
#include "support/event_ui.h"
#include "texts/language.h"
#include "texts/text_helpers.h"

namespace qvk {
namespace {

using test::Layout0Page;
using test::Layout1Page;
using test::PageEntry;
using test::PageOptions;

const std::string kHost = "plugins.quorvane.org";

struct Scraped {
    ScrapeResult result;
    std::vector<std::string> log;
};

Scraped Scrape(const std::string& page, const std::string& realHost = "",
               const std::string& realUrl = "") {
    Scraped s;
    s.result = ScrapePage(page, kHost, realHost, realUrl,
                          [&](const std::string& line) { s.log.push_back(line); });
    return s;
}

std::vector<std::string> Names(const ScrapeResult& r) {
    std::vector<std::string> names;
    for (const PluginRecord& p : r.records) names.push_back(p.name);
    return names;
}

bool Logged(const Scraped& s, const std::string& line) {
    return std::find(s.log.begin(), s.log.end(), line) != s.log.end();
}

PageEntry Entry(const std::string& name, const std::string& info = "Ann / 1.0 / 5 KB") {
    return {name, "http://" + kHost + "/files/" + name + ".zip", "About " + name, info};
}

TEST(ScraperHelpers, DigitsCountsAndNearerPosition) {
    EXPECT_EQ(DigitsOnly("42 plugins"), "42");
    EXPECT_EQ(DigitsOnly("v2: 42 plugins"), "242");
    EXPECT_EQ(DigitsOnly("none\xB2\xB3"), "");  // superscript digits of the code page are no digits
    EXPECT_EQ(CountValue(""), 0);
    EXPECT_EQ(CountValue("0042"), 42);
    EXPECT_EQ(CountValue("99999999999999999999"), 2147483647);

    EXPECT_EQ(NearerPosition(3, 7), 3u);
    EXPECT_EQ(NearerPosition(7, 3), 3u);
    EXPECT_EQ(NearerPosition(0, 5), 5u);
    EXPECT_EQ(NearerPosition(5, 0), 5u);
    EXPECT_EQ(NearerPosition(0, 0), 0u);
    EXPECT_EQ(NearerPosition(4, 4), 4u);

    EXPECT_TRUE(IsAbsoluteHttpUrl("http://h/a.zip"));
    EXPECT_TRUE(IsAbsoluteHttpUrl("HTTP://h"));
    EXPECT_FALSE(IsAbsoluteHttpUrl("files/a.zip"));
    EXPECT_FALSE(IsAbsoluteHttpUrl("ftp://h/a.zip"));
    EXPECT_FALSE(IsAbsoluteHttpUrl("http://"));
    EXPECT_FALSE(IsAbsoluteHttpUrl("http:///a.zip"));
    EXPECT_FALSE(IsAbsoluteHttpUrl("http://user@/a.zip"));
    EXPECT_FALSE(IsAbsoluteHttpUrl(" http://h/a.zip"));
}

TEST(ScraperLayouts, FirstLayoutGivesEveryFieldAndTheDocumentedLog) {
    const std::string page = test::kL0CountStart + std::string("1 plugin") + test::kCountEnd +
                             "x\">" + "<td width=\"105\"><img src=\"a.png\"" + test::kL0EntryStart +
                             "<a href=\"http://h/a.zip\">Alpha</a></b>" +
                             test::kL0DescriptionStart + "One<br>Two<u>dl</u><i>i</i><br>" +
                             "Ann Lee / 1.0 01/02/2008 / 5 KB" + test::kL0LastEnd;
    const Scraped s = Scrape(page);
    ASSERT_TRUE(s.result.recognised);
    EXPECT_EQ(s.result.pageFormat, 0);
    EXPECT_EQ(s.result.countText, "1");
    ASSERT_EQ(s.result.records.size(), 1u);
    const PluginRecord& r = s.result.records.front();
    EXPECT_EQ(r.name, "Alpha");
    EXPECT_EQ(r.url, "http://h/a.zip");
    EXPECT_EQ(r.description, "One\r\nTwo");
    EXPECT_EQ(r.author, "Ann Lee");
    EXPECT_EQ(r.versionDate, "1.0 01/02/2008");
    EXPECT_EQ(r.size, "5 KB");
    EXPECT_EQ(r.selected, 0);
    EXPECT_EQ(s.result.xnviewRecord, nullptr);
    // The count start marker is 70 bytes long and the page begins with it.
    const std::vector<std::string> expected = {
        "Getting number...", "EncS = 1 EncE = 79", "Number : 1", "Parser start (to 1)",
        "Get plugin name and plugin URL", "Alpha : http://h/a.zip", "Done !",
        "Get plugin description", "One\r\nTwo", "Done !", "Get plugin informations",
        "Ann Lee\xA0" "1.0 01/02/2008\xA0" "5 KB : Ann Lee : 1.0 01/02/2008 : 5 KB", "Done !",
        "Parser end", "Get XnViewDLL..."};
    EXPECT_EQ(s.log, expected);
}

TEST(ScraperLayouts, SecondLayoutIsTriedWhenTheFirstCountIsMissing) {
    const std::vector<PageEntry> entries = {Entry("Blur"), Entry("Sharpen"), Entry("Emboss")};
    for (bool tableEnd : {false, true}) {
        PageOptions o;
        o.tableEndOnly = tableEnd;
        const Scraped s = Scrape(Layout1Page(entries, o));
        ASSERT_TRUE(s.result.recognised);
        EXPECT_EQ(s.result.pageFormat, 1);
        EXPECT_EQ(s.result.countText, "3");
        EXPECT_TRUE(Logged(s, "It could be new plugins page version, trying..."));
        EXPECT_EQ(Names(s.result), (std::vector<std::string>{"Blur", "Emboss", "Sharpen"}));
        const PluginRecord& blur = s.result.records.front();
        EXPECT_EQ(blur.url, "http://" + kHost + "/files/Blur.zip");
        EXPECT_EQ(blur.description, "About Blur");
        EXPECT_EQ(blur.author, "Ann");
        EXPECT_EQ(blur.size, "5 KB");
    }
    // Layout 0 with the table end as the list's end, for symmetry.
    PageOptions o;
    o.tableEndOnly = true;
    const Scraped s0 = Scrape(Layout0Page(entries, o));
    EXPECT_EQ(s0.result.pageFormat, 0);
    EXPECT_FALSE(Logged(s0, "It could be new plugins page version, trying..."));
    EXPECT_EQ(s0.result.records.size(), 3u);
}

TEST(ScraperLayouts, BytesOfTheCodePageAndEntitiesStayAsWritten) {
    const PageEntry e = {"Caf\xE9 &amp; Cr\xE8me", "http://h/caf%E9.zip",
                         "Tr\xE8s &eacute;l\xE9gant<BR>Zweite Zeile<br />Dritte",
                         "Fran\xE7ois M\xFCller\xA0" "2.0\xA0" "1,2 Mo"};
    for (const std::string& page : {Layout0Page({e}), Layout1Page({e})}) {
        const Scraped s = Scrape(page);
        ASSERT_EQ(s.result.records.size(), 1u);
        const PluginRecord& r = s.result.records.front();
        EXPECT_EQ(r.name, "Caf\xE9 &amp; Cr\xE8me");
        EXPECT_EQ(r.url, "http://h/caf%E9.zip");
        EXPECT_EQ(r.description, "Tr\xE8s &eacute;l\xE9gant\r\nZweite Zeile\r\nDritte");
        EXPECT_EQ(r.author, "Fran\xE7ois M\xFCller");  // raw no-break spaces separate too
        EXPECT_EQ(r.versionDate, "2.0");
        EXPECT_EQ(r.size, "1,2 Mo");
    }
}

TEST(ScraperLayouts, InformationLineFields) {
    const std::vector<PageEntry> entries = {
        Entry("a", "Jean Paul Dupont / 1.0 2008 / 3 KB"), Entry("b", "Solo / 1.0"),
        Entry("c", "Plain spaces 1.0 3 KB"), Entry("d", " /  / 9 KB / extra"),
        Entry("e", "")};
    const Scraped s = Scrape(Layout0Page(entries));
    ASSERT_EQ(s.result.records.size(), 5u);
    auto it = s.result.records.begin();
    EXPECT_EQ(it->author, "Jean Paul Dupont");
    EXPECT_EQ(it->versionDate, "1.0 2008");
    EXPECT_EQ(it->size, "3 KB");
    ++it;
    EXPECT_EQ(it->author, "Solo");
    EXPECT_EQ(it->versionDate, "1.0");
    EXPECT_EQ(it->size, "");
    ++it;
    EXPECT_EQ(it->author, "Plain spaces 1.0 3 KB");
    EXPECT_EQ(it->versionDate, "");
    ++it;
    EXPECT_EQ(it->author, "");
    EXPECT_EQ(it->versionDate, "");
    EXPECT_EQ(it->size, "9 KB");
    ++it;
    EXPECT_EQ(it->author + it->versionDate + it->size, "");
}

TEST(ScraperOrder, SortedByFoldedAsciiNameWithXnViewLast) {
    std::vector<PageEntry> entries;
    for (const char* n : {"gamma", "beta", "Alpha", "_tools", "\xC9toile", "Zeta", "alpha",
                          "\xE9t\xE9", "ALPHA", "Beta2"})
        entries.push_back(Entry(n));
    // Same names keep the order in which the page lists them (distinguished by their links).
    entries[6].url = "http://h/second.zip";
    entries[8].url = "http://h/third.zip";
    PageOptions o;
    o.xnviewUrl = "http://h/XnViewDll.zip";
    for (const std::string& page : {Layout0Page(entries, o), Layout1Page(entries, o)}) {
        const Scraped s = Scrape(page);
        EXPECT_EQ(Names(s.result),
                  (std::vector<std::string>{"_tools", "Alpha", "alpha", "ALPHA", "beta", "Beta2",
                                            "gamma", "Zeta", "\xC9toile", "\xE9t\xE9",
                                            "XnViewDll.zip"}));
        auto it = std::next(s.result.records.begin());
        EXPECT_EQ((++it)->url, "http://h/second.zip");
        EXPECT_EQ((++it)->url, "http://h/third.zip");
        ASSERT_NE(s.result.xnviewRecord, nullptr);
        EXPECT_EQ(s.result.xnviewRecord, &s.result.records.back());
        EXPECT_EQ(s.result.xnviewRecord->url, "http://h/XnViewDll.zip");
        EXPECT_TRUE(Logged(s, "Got !"));
    }
}

TEST(ScraperOrder, XnViewSectionAbsentOrBroken) {
    const std::vector<PageEntry> entries = {Entry("One")};
    EXPECT_EQ(Scrape(Layout0Page(entries)).result.xnviewRecord, nullptr);
    EXPECT_EQ(Scrape(Layout0Page(entries)).result.records.size(), 1u);
    // A relative link, or one that never ends, makes no record.
    for (const std::string& tail : {std::string("<a href=\"dll/XnViewDll.zip\">x</a>"),
                                    std::string("<a href=\"http://h/XnViewDll.zip")}) {
        const std::string page = Layout0Page(entries) + test::kXnViewMarker + tail;
        const Scraped s = Scrape(page);
        EXPECT_EQ(s.result.xnviewRecord, nullptr) << tail;
        EXPECT_EQ(s.result.records.size(), 1u);
        EXPECT_TRUE(Logged(s, "Searching..."));
    }
    // The section before the list is not looked at once entries were read; without entries the
    // search starts at the count.
    PageOptions early;
    early.beforeList = std::string(test::kXnViewMarker) + "<a href=\"http://h/early.zip\">";
    EXPECT_EQ(Scrape(Layout0Page(entries, early)).result.xnviewRecord, nullptr);
    early.countText = "no plugins";
    const Scraped none = Scrape(Layout0Page(entries, early));
    EXPECT_TRUE(none.result.records.size() == 1u && none.result.xnviewRecord != nullptr);
    EXPECT_EQ(none.result.countText, "");
}

TEST(ScraperHosts, RealHostReplacesTheCatalogueHostInLinks) {
    PageOptions o;
    o.xnviewUrl = "http://" + kHost + "/dll/XnViewDll.zip";
    const std::vector<PageEntry> entries = {
        {"Mirror", "http://" + kHost + "/files/" + kHost + ".zip", "d", "a / b / c"},
        {"Other", "http://elsewhere.example/o.zip", "d", "a / b / c"}};
    const Scraped s = Scrape(Layout1Page(entries, o), "127.0.0.3", "127.0.0.3/plugins.php?lang=en");
    ASSERT_EQ(s.result.records.size(), 3u);
    EXPECT_EQ(s.result.records.front().url, "http://127.0.0.3/files/127.0.0.3.zip");
    EXPECT_EQ(std::next(s.result.records.begin())->url, "http://elsewhere.example/o.zip");
    EXPECT_EQ(s.result.records.back().url, "http://127.0.0.3/dll/XnViewDll.zip");
    // Without a redirect nothing is replaced; with realHost but no realUrl only entries are.
    const Scraped plain = Scrape(Layout1Page(entries, o));
    EXPECT_EQ(plain.result.records.front().url, entries[0].url);
    const Scraped half = Scrape(Layout1Page(entries, o), "127.0.0.3", "");
    EXPECT_EQ(half.result.records.front().url, "http://127.0.0.3/files/127.0.0.3.zip");
    EXPECT_EQ(half.result.records.back().url, o.xnviewUrl);
}

TEST(ScraperCounts, AnnouncedCountAgainstRealEntries) {
    std::vector<PageEntry> five;
    for (const char* n : {"e", "d", "c", "b", "a"}) five.push_back(Entry(n));
    PageOptions three;
    three.countText = "3 plugins";
    EXPECT_EQ(Names(Scrape(Layout0Page(five, three)).result),
              (std::vector<std::string>{"c", "d", "e"}));
    EXPECT_EQ(Names(Scrape(Layout1Page(five, three)).result),
              (std::vector<std::string>{"c", "d", "e"}));

    // More announced than held, with a plugin-like link before the list and entry-like markup
    // after it: only the real entries give records.
    PageOptions more;
    more.countText = "v2: 42 plugins";
    more.beforeList = "<a href=\"http://h/news.zip\">News</a>";
    more.afterList = std::string(test::kL1EntryStart) + "<a href=\"http://h/ghost.zip\">Ghost</a>" +
                     test::kL1Separator + test::kL0EntryStart +
                     "<a href=\"http://h/ghost0.zip\">Ghost0</a>" + test::kL0Separator;
    const std::vector<PageEntry> two = {Entry("y"), Entry("x")};
    for (const std::string& page : {Layout0Page(two, more), Layout1Page(two, more)}) {
        const Scraped s = Scrape(page);
        EXPECT_EQ(s.result.countText, "242");
        EXPECT_EQ(Names(s.result), (std::vector<std::string>{"x", "y"}));
    }

    // A list whose last entry is followed by a separator and nothing else: the search for a
    // further entry finds none, and must not start over from the top of the page, where an
    // entry-like banner precedes the count.
    const std::string page =
        std::string("<table><tr><td>") + test::kL1EntryStart +
        "<a href=\"http://h/banner.zip\">Banner</a></td></tr></table>" + test::kL1CountStart +
        "4 plugins" + test::kCountEnd + "x\">r</a>)</b><table><tr><td width=\"105\"><img src=\"i\">" +
        test::kL1EntryStart + "<a href=\"http://h/a.zip\">a</a></b>d<u>u</u></i><br>1 / 2 / 3" +
        test::kL1Separator + "\"j\">" + test::kL1EntryStart +
        "<a href=\"http://h/b.zip\">b</a></b>d<u>u</u></i><br>1 / 2 / 3" + test::kL1Separator +
        "\"k\"></td></tr></table>";
    EXPECT_EQ(Names(Scrape(page).result), (std::vector<std::string>{"a", "b"}));
}

TEST(ScraperCounts, TheLastEntryEndsAtTheNearerOfItsTwoEndMarkers) {
    // A separator further down the page (another table) must not swallow the list's end.
    PageOptions o;
    o.afterList = std::string("<table><tr><td>x") + test::kL0Separator + "</td></tr></table>";
    const Scraped s = Scrape(Layout0Page({Entry("only", "A / B / C")}, o));
    ASSERT_EQ(s.result.records.size(), 1u);
    EXPECT_EQ(s.result.records.front().size, "C");
}

TEST(ScraperDefects, EntriesWithoutUsableLinkOrMarkers) {
    std::vector<PageEntry> entries = {Entry("good"), Entry("relative"), Entry("   "),
                                      Entry(""), Entry("ftp"), Entry("upper")};
    entries[1].url = "files/relative.zip";
    entries[4].url = "ftp://h/ftp.zip";
    entries[5].url = "HTTP://H/upper.zip";
    const Scraped s = Scrape(Layout1Page(entries));
    EXPECT_EQ(Names(s.result), (std::vector<std::string>{"good", "upper"}));
    EXPECT_EQ(s.result.records.back().url, "HTTP://H/upper.zip");

    // Markup without href, without "</a>", without description or information markers.
    PluginList list;
    EXPECT_FALSE(ScrapeEntry("<a name=\"x\">No link</a></b>d<u>u</u></i><br>a / b / c", kHost, "",
                             1, list));
    EXPECT_FALSE(ScrapeEntry("<a href=\"http://h/x.zip\">Cut name", kHost, "", 1, list));
    EXPECT_FALSE(ScrapeEntry("", kHost, "", 0, list));
    EXPECT_TRUE(list.empty());
    ASSERT_TRUE(ScrapeEntry("<a href=\"http://h/x.zip\">Bare</a> and some more markup", kHost, "",
                            0, list));
    EXPECT_EQ(list.back().description, "");
    EXPECT_EQ(list.back().author + list.back().versionDate + list.back().size, "");
    ASSERT_TRUE(ScrapeEntry("<a href=\"http://h/y.zip\">NoInfo</a></b>Text<u>dl</u><i>no line",
                            kHost, "", 1, list));
    EXPECT_EQ(list.back().description, "Text");
    EXPECT_EQ(list.back().author, "");
    ASSERT_TRUE(ScrapeEntry("<a href=\"http://h/z.zip\">NoEnd</a></b>Open text</i><br>a / b", kHost,
                            "", 1, list));
    EXPECT_EQ(list.back().description, "");
    EXPECT_EQ(list.back().author, "a");
    EXPECT_EQ(list.back().versionDate, "b");
}

TEST(ScraperDefects, UnrecognisedEmptyAndCutPages) {
    for (const std::string& page : {std::string(), std::string("<html>no list</html>"),
                                    std::string(test::kL0CountStart) + "3 plugins"}) {
        const Scraped s = Scrape(page);
        EXPECT_FALSE(s.result.recognised);
        EXPECT_TRUE(s.result.records.empty());
        ASSERT_EQ(s.log.size(), 5u);
        EXPECT_EQ(s.log[0], "Getting number...");
        EXPECT_EQ(s.log[2], "It could be new plugins page version, trying...");
        EXPECT_EQ(s.log[3], "Getting number...");
    }
    EXPECT_EQ(Scrape("").log[1], "EncS = 0 EncE = 0");
    EXPECT_EQ(Scrape(std::string("ab") + test::kL0CountStart).log[1], "EncS = 3 EncE = 0");

    // Cut in the middle of the second of three entries: the first one stays, the cut one and
    // the missing one give nothing.
    const std::vector<PageEntry> entries = {Entry("a"), Entry("b"), Entry("c")};
    for (const std::string& full : {Layout0Page(entries), Layout1Page(entries)}) {
        const std::size_t cut = full.find("About b") + 3;
        const Scraped s = Scrape(full.substr(0, cut));
        EXPECT_EQ(Names(s.result), (std::vector<std::string>{"a"}));
    }
}

// The scraper as the catalogue thread calls it: the process-wide list, the job and the log box.
class ScrapeCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        FillLanguageTables();
    }
    void TearDown() override { ResetState(); }
    test::ScopedUi ui;
};

TEST_F(ScrapeCatalogueTest, FillsTheListTheJobAndTheLogBox) {
    PageOptions o;
    o.xnviewUrl = "http://h/XnViewDll.zip";
    o.countText = "3 plugins";
    std::string page = Layout0Page({Entry("beta"), Entry("Alpha"), Entry("")}, o);
    CatalogueJob job;
    EXPECT_EQ(ScrapeCatalogue(page, kHost, "", "", job), "3");
    EXPECT_TRUE(page.empty());
    ASSERT_EQ(state.plugins.size(), 3u);
    EXPECT_EQ(job.xnviewRecord, &state.plugins.back());
    EXPECT_EQ(job.xnviewRecord->name, "XnViewDll.zip");
    EXPECT_EQ(ui.ui.Lines(CatalogueLog),
              (std::vector<std::string>{"3" + LanguageText(1, FoundSuffix), "Alpha", "beta"}));

    // No XnView section: the job's reference stays as it was.
    PluginRecord before;
    job.xnviewRecord = &before;
    page = Layout1Page({Entry("gamma")});
    EXPECT_EQ(ScrapeCatalogue(page, kHost, "", "", job), "1");
    EXPECT_EQ(job.xnviewRecord, &before);
}

TEST_F(ScrapeCatalogueTest, UnknownLayoutEndsTheProgram) {
    std::string page = "<html><body>Maintenance</body></html>";
    CatalogueJob job;
    ui.ui.Answer({AnswerOk});
    EXPECT_EXIT(ScrapeCatalogue(page, kHost, "", "", job), ::testing::ExitedWithCode(0),
                "\\[message\\] The list format is not correct\\.");
}

// Damaged pages: random cuts, insertions, deletions and doubled markers of valid pages. Nothing
// may crash (the sanitizers watch), and every record must be a real plugin entry.
TEST(ScraperRobustness, MutatedPagesNeverGiveBogusRecords) {
    std::vector<PageEntry> entries = test::GeneratedEntries(6);
    entries[2].name = "Caf\xE9 <b>bold</b>";
    PageOptions o;
    o.xnviewUrl = "http://h/XnViewDll.zip";
    const std::vector<std::string> bases = {Layout0Page(entries, o), Layout1Page(entries, o)};
    const std::vector<std::string> markers = {
        test::kL0CountStart, test::kL1CountStart, test::kCountEnd,
        test::kL0EntryStart, test::kL1EntryStart, test::kL0Separator,
        test::kL1Separator, test::kL0LastEnd, test::kL1LastEnd, test::kL0TableEnd,
        test::kL1TableEnd, test::kXnViewMarker, "href=\"", "\">", "</a>", "<u>", "</i><br>",
        " / ", "<br>", "http://", "\xA0", "9999 "};

    std::mt19937 rng(20080815);
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n)(rng); };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int cases = 0, withRecords = 0;
    for (; cases < 6000 && std::chrono::steady_clock::now() < deadline; ++cases) {
        std::string page = bases[cases % 2];
        const int edits = 1 + static_cast<int>(pick(3));
        for (int k = 0; k < edits; ++k) {
            const std::size_t at = pick(page.size());
            switch (pick(4)) {
                case 0: page.resize(at); break;
                case 1: page.insert(at, markers[pick(markers.size() - 1)]); break;
                case 2: page.erase(at, pick(64)); break;
                case 3: {  // a marker written twice where it occurs
                    const std::string& m = markers[pick(markers.size() - 1)];
                    const std::size_t found = page.find(m, at);
                    if (found != std::string::npos) page.insert(found, m);
                    break;
                }
                default: page.insert(at, 1, static_cast<char>(pick(255))); break;
            }
        }
        const ScrapeResult r = ScrapePage(page, kHost, "", "");
        if (!r.recognised) {
            EXPECT_TRUE(r.records.empty());
            continue;
        }
        withRecords += r.records.empty() ? 0 : 1;
        EXPECT_LE(r.records.size(), static_cast<std::size_t>(CountValue(r.countText)) + 1);
        for (const PluginRecord& p : r.records) {
            ASSERT_NE(p.name.find_first_not_of(' '), std::string::npos) << page;
            ASSERT_EQ(AsciiLower(p.url.substr(0, 7)), "http://") << p.url;
            ASSERT_GT(p.url.size(), 7u);
            // Every name and link is a piece of the page, never invented or shifted text.
            if (&p != r.xnviewRecord) {
                ASSERT_NE(page.find("\">" + p.name + "</a>"), std::string::npos) << p.name;
            }
            ASSERT_NE(page.find("href=\"" + p.url + "\">"), std::string::npos) << p.url;
        }
        if (r.xnviewRecord) {
            EXPECT_EQ(r.xnviewRecord, &r.records.back());
        }
    }
    EXPECT_GT(withRecords, cases / 10);  // the mutations leave most pages readable
}

}  // namespace
}  // namespace qvk
