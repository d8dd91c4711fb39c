#include "catalogue/scraper.h"

#include <gtest/gtest.h>

#include "core/text_helpers.h"
#include "support/catalogue_pages.h"

namespace qvk {
namespace {

using namespace test;
using Names = std::vector<std::string>;

const std::string kHost = "plugins.quorvane.org";

struct Scraped {
    ScrapeResult result;
    std::vector<std::string> log;
    Names names;  // in order, the XnView record's included
};

Scraped Scrape(const std::string& page) {
    Scraped s;
    s.result = ScrapePage(page, kHost, "", "", [&](const std::string& line) { s.log.push_back(line); });
    for (const PluginRecord& p : s.result.records) s.names.push_back(p.name + (&p == s.result.xnviewRecord ? "*" : ""));
    return s;
}

std::string Fields(const PluginRecord& r) {
    return r.name + "|" + r.url + "|" + r.description + "|" + r.author + "|" + r.versionDate + "|" + r.size;
}

PageEntry Entry(const std::string& name, const std::string& info = "Ann / 1.0 / 5 KB") {
    return {name, "http://h/" + name + ".zip", "About " + name, info};
}

std::vector<PageEntry> Entries(std::initializer_list<const char*> names) {
    std::vector<PageEntry> entries;
    for (const char* n : names) entries.push_back(Entry(n));
    return entries;
}

TEST(Scraper, FirstLayoutGivesEveryFieldAndItsLog) {
    const std::string page = Layout0Page({{"Alpha", "http://h/a.zip", "One<br>Two", "Ann Lee / 1.0 01/02/2008 / 5 KB"}});
    const Scraped s = Scrape(page);
    ASSERT_EQ(s.result.records.size(), 1u);
    EXPECT_EQ(Fields(s.result.records.front()), "Alpha|http://h/a.zip|One\r\nTwo|Ann Lee|1.0 01/02/2008|5 KB");
    // Positions count from 1.
    const std::string where = "EncS = " + std::to_string(page.find(kL0CountStart) + 1) +
                              " EncE = " + std::to_string(page.find(kCountEnd) + 1);
    EXPECT_EQ(s.log, (Names{"Getting number...", where, "Number : 1", "Parser start (to 1)",
                            "Get plugin name and plugin URL", "Alpha : http://h/a.zip", "Done !",
                            "Get plugin description", "One\r\nTwo", "Done !", "Get plugin informations",
                            "Ann Lee\xA0" "1.0 01/02/2008\xA0" "5 KB : Ann Lee : 1.0 01/02/2008 : 5 KB",
                            "Done !", "Parser end", "Get XnViewDLL..."}));
}

// Bytes of the code page and entities stay as written; "<br>" in any spelling is a line break; the
// information line splits at " / " or a raw no-break space.
TEST(Scraper, EntryFieldsInBothLayoutsAndBothListEnds) {
    const std::pair<PageEntry, std::string> cases[] = {
        {{"Caf\xE9 &amp; Cr\xE8me", "http://h/caf%E9.zip", "Tr\xE8s &eacute;l\xE9gant<BR>Zweite Zeile<br />Dritte",
          "Fran\xE7ois M\xFCller\xA0" "2.0\xA0" "1,2 Mo"},
         "Caf\xE9 &amp; Cr\xE8me|http://h/caf%E9.zip|Tr\xE8s &eacute;l\xE9gant\r\nZweite Zeile\r\nDritte|Fran\xE7ois M\xFCller|2.0|1,2 Mo"},
        {Entry("b", "Solo / 1.0"), "b|http://h/b.zip|About b|Solo|1.0|"},
        {Entry("d", " /  / 9 KB / extra"), "d|http://h/d.zip|About d|||9 KB"},
        {Entry("e", ""), "e|http://h/e.zip|About e|||"},
    };
    for (int layout : {0, 1}) {
        for (bool tableEnd : {false, true}) {
            PageOptions o;
            o.tableEndOnly = tableEnd;
            for (const auto& [entry, expected] : cases) {
                const Scraped s = Scrape(LayoutPage(layout, {entry}, o));
                ASSERT_EQ(s.result.records.size(), 1u) << expected;
                EXPECT_EQ(Fields(s.result.records.front()), expected);
                EXPECT_EQ(s.result.pageFormat, layout);
                EXPECT_EQ(s.log[2] == "It could be new plugins page version, trying...", layout == 1);
            }
        }
    }
}

TEST(Scraper, SortedByFoldedAsciiNameStableWithXnViewLast) {
    std::vector<PageEntry> entries =
        Entries({"gamma", "beta", "Alpha", "_tools", "\xC9toile", "Zeta", "alpha", "\xE9t\xE9", "ALPHA", "Beta2"});
    entries[6].url = "http://h/second.zip";  // equal names keep the page's order
    entries[8].url = "http://h/third.zip";
    PageOptions o;
    o.xnviewUrl = "http://h/XnViewDll.zip";
    const Scraped s = Scrape(Layout1Page(entries, o));
    EXPECT_EQ(s.names, (Names{"_tools", "Alpha", "alpha", "ALPHA", "beta", "Beta2", "gamma", "Zeta",
                              "\xC9toile", "\xE9t\xE9", "XnViewDll.zip*"}));
    EXPECT_EQ(std::next(s.result.records.begin(), 2)->url, "http://h/second.zip");
    EXPECT_EQ(std::next(s.result.records.begin(), 3)->url, "http://h/third.zip");
    EXPECT_EQ(s.result.records.back().url, "http://h/XnViewDll.zip");
}

// Only real entries of the list give records: not more than announced, none from markup before
// or after the list, none without a usable link or name; a cut page keeps its whole entries.
TEST(Scraper, WhichEntriesGiveRecords) {
    PageOptions three, more, early, earlyNoCount;
    three.countText = "3 plugins";
    more.countText = "v2: 42 plugins";
    more.beforeList = "<a href=\"http://h/news.zip\">News</a>";
    more.afterList = std::string(kL1EntryStart) + "<a href=\"http://h/ghost.zip\">Ghost</a>" + kL1Separator +
                     kL0EntryStart + "<a href=\"http://h/ghost0.zip\">Ghost0</a>" + kL0Separator;
    early.beforeList = std::string(kXnViewMarker) + "<a href=\"http://h/early.zip\">";  // searched after the list
    earlyNoCount = early;
    earlyNoCount.countText = "no plugins";  // no entries read: the search starts at the count
    std::vector<PageEntry> bad = Entries({"good", "relative", "   ", "", "ftp", "upper"});
    bad[1].url = "files/relative.zip", bad[4].url = "ftp://h/ftp.zip", bad[5].url = "HTTP://H/upper.zip";
    // The last entry followed by a separator and nothing else: the search for a further entry
    // must not start over from the top, where an entry-like banner precedes the count.
    const std::string entry = std::string(kL1EntryStart) + "<a href=\"http://h/%.zip\">%</a></b>d<u>u</u></i><br>1 / 2 / 3" + kL1Separator;
    const std::string banner = std::string("<table><tr><td>") + kL1EntryStart + "<a href=\"http://h/banner.zip\">Banner</a></td></tr></table>" +
        kL1CountStart + "4 plugins" + kCountEnd + "x\">r</a>)</b><table><tr><td width=\"105\"><img src=\"i\">" +
        ReplaceAll(entry, "%", "a") + "\"j\">" + ReplaceAll(entry, "%", "b") + "\"k\"></td></tr></table>";
    const std::string one = Layout0Page(Entries({"One"}));
    for (int layout : {0, 1}) {
        const std::string cut = LayoutPage(layout, Entries({"a", "b", "c"}), {});
        const std::pair<std::string, Names> cases[] = {
            {LayoutPage(layout, Entries({"e", "d", "c", "b", "a"}), three), {"c", "d", "e"}},
            {LayoutPage(layout, Entries({"y", "x"}), more), {"x", "y"}},
            {LayoutPage(layout, bad, {}), {"good", "upper"}},
            {cut.substr(0, cut.find("About b") + 3), {"a"}},
            {banner, {"a", "b"}},
            {one + kXnViewMarker + "<a href=\"dll/XnViewDll.zip\">x</a>", {"One"}},
            {one + kXnViewMarker + "<a href=\"http://h/XnViewDll.zip", {"One"}},  // a link that never ends
            {Layout0Page(Entries({"One"}), early), {"One"}},
            {Layout0Page(Entries({"One"}), earlyNoCount), {"XnViewDll.zip*"}},
        };
        for (const auto& [page, names] : cases) EXPECT_EQ(Scrape(page).names, names) << page;
    }
    EXPECT_EQ(Scrape(LayoutPage(0, Entries({"y", "x"}), more)).result.countText, "242");
    EXPECT_EQ(CountValue("99999999999999999999"), 2147483647);
    // A separator further down the page must not swallow the list's end.
    PageOptions far;
    far.afterList = std::string("<table><tr><td>x") + kL0Separator + "</td></tr></table>";
    EXPECT_EQ(Scrape(Layout0Page({Entry("only", "A / B / C")}, far)).result.records.front().size, "C");
}


}  // namespace
}  // namespace qvk
