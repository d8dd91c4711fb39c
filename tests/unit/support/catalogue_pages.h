// Catalogue pages made up for the tests, the fuzz seeds and the benchmark, in the two layouts
// the installer knows: built from the markers alone, the surrounding markup is our own.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace qvk::test {

struct PageEntry {
    std::string name, url, description;
    std::string info;  // the information line, as the page writes it
};

struct PageOptions {
    std::string countText;      // empty: the number of entries followed by " plugins"
    std::string xnviewUrl;      // empty: no XnView DLL section
    bool tableEndOnly = false;  // close the list with the table end instead of the last-entry end
    std::string beforeList;     // markup between the count and the list
    std::string afterList;      // markup after the list's closing marker
};

inline const char* const kL0CountStart =
    "<font face=\"Arial, Helvetica, sans-serif\" size=\"2\" color=\"#FFCC00\"><b>";
inline const char* const kCountEnd = " ( <a href=\"plugins.php?";
inline const char* const kL0EntryStart =
    "></td><td><font face=\"Arial, Helvetica, sans-serif\" color=\"#FFFFFF\" size=\"2\"><b>";
inline const char* const kL0Separator = "</font></td></tr><tr><td width=\"105\">";
inline const char* const kL0DescriptionStart =
    "<font face=\"Arial, Helvetica, sans-serif\" color=\"#FFFFFF\" size=\"2\">";
inline const char* const kL1CountStart = "<br><br><b>";
inline const char* const kL1EntryStart = "</td><td><b>";
inline const char* const kL1Separator = "</td></tr><tr><td width=\"105\"><img src=";
inline const char* const kXnViewMarker = "<!-- XnViewDLLs //-->";

// Layout 0 puts the description in a font of its own; layout 1 writes it bare after the name.
inline std::string LayoutPage(int layout, const std::vector<PageEntry>& entries, const PageOptions& o) {
    const bool l0 = layout == 0;
    std::string page = "<html><body><h1>Plugins</h1>" + std::string(l0 ? kL0CountStart : kL1CountStart) +
                       (o.countText.empty() ? std::to_string(entries.size()) + " plugins" : o.countText) +
                       kCountEnd + "lang=en\">refresh</a> )</b>" + (l0 ? "</font>" : "") + o.beforeList +
                       "<table><tr><td width=\"105\">" + (l0 ? "" : "<img src=");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PageEntry& e = entries[i];
        if (i > 0) page += l0 ? kL0Separator : kL1Separator;
        page += (l0 ? "<img src=\"img/p" : "\"img/p") + std::to_string(i) + (l0 ? ".png\"" : ".png\">");
        page += (l0 ? kL0EntryStart : kL1EntryStart) + std::string("<a href=\"") + e.url + "\">" +
                e.name + "</a></b>" + (l0 ? "<br>" + std::string(kL0DescriptionStart) : "") +
                e.description + "<u>Download</u>" + (l0 ? "</font>" : "") +
                "<br><i>Author / Version / Size</i><br>" + e.info;
    }
    if (l0) page += o.tableEndOnly ? "</font></td></tr>    </table>" : "</font></td></tr></table><br></b><i>";
    else page += o.tableEndOnly ? "</td></tr></table><br>        <h2>" : "</td></tr></table><br><img src=";
    page += o.afterList;
    if (!o.xnviewUrl.empty())
        page += std::string("<p>") + kXnViewMarker + "<br><a href=\"" + o.xnviewUrl + "\">XnView</a></p>";
    return page + "</body></html>";
}
inline std::string Layout0Page(const std::vector<PageEntry>& e, const PageOptions& o = {}) { return LayoutPage(0, e, o); }
inline std::string Layout1Page(const std::vector<PageEntry>& e, const PageOptions& o = {}) { return LayoutPage(1, e, o); }

// n plausible entries, numbered in their names so that their order is known.
inline std::vector<PageEntry> GeneratedEntries(int n) {
    std::vector<PageEntry> entries;
    char number[16];
    for (int i = 0; i < n; ++i) {
        std::snprintf(number, sizeof number, "%05d", (i * 7919) % 100000);
        entries.push_back({std::string("Plugin ") + number,
                           std::string("http://plugins.quorvane.org/files/plugin") + number + ".zip",
                           "Applies the effect number " + std::string(number) +
                               ".<br>Works with 8 and 24 bit images.",
                           "Jean Dupont / 1.2 15/08/2008 / 120 KB"});
    }
    return entries;
}

}  // namespace qvk::test
