// Catalogue pages made up for the tests and the benchmark, in the two layouts the installer
// knows. They are built here from the markers alone; the surrounding markup is our own.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace qvk::test {

struct PageEntry {
    std::string name;
    std::string url;
    std::string description;
    std::string info;  // the information line, as the page writes it
};

struct PageOptions {
    std::string countText;       // empty: the number of entries followed by " plugins"
    std::string xnviewUrl;       // empty: no XnView DLL section
    bool tableEndOnly = false;   // close the list with the table end instead of the last-entry end
    std::string beforeList;      // markup between the count and the list
    std::string afterList;       // markup after the list's closing marker
};

inline const char* const kL0CountStart =
    "<font face=\"Arial, Helvetica, sans-serif\" size=\"2\" color=\"#FFCC00\"><b>";
inline const char* const kCountEnd = " ( <a href=\"plugins.php?";
inline const char* const kL0EntryStart =
    "></td><td><font face=\"Arial, Helvetica, sans-serif\" color=\"#FFFFFF\" size=\"2\"><b>";
inline const char* const kL0Separator = "</font></td></tr><tr><td width=\"105\">";
inline const char* const kL0LastEnd = "</font></td></tr></table><br></b><i>";
inline const char* const kL0TableEnd = "</font></td></tr>    </table>";
inline const char* const kL0DescriptionStart =
    "<font face=\"Arial, Helvetica, sans-serif\" color=\"#FFFFFF\" size=\"2\">";
inline const char* const kL1CountStart = "<br><br><b>";
inline const char* const kL1EntryStart = "</td><td><b>";
inline const char* const kL1Separator = "</td></tr><tr><td width=\"105\"><img src=";
inline const char* const kL1LastEnd = "</td></tr></table><br><img src=";
inline const char* const kL1TableEnd = "</td></tr></table><br>        <h2>";
inline const char* const kXnViewMarker = "<!-- XnViewDLLs //-->";

inline std::string CountTextFor(const std::vector<PageEntry>& entries, const PageOptions& o) {
    return o.countText.empty() ? std::to_string(entries.size()) + " plugins" : o.countText;
}

inline std::string XnViewSection(const PageOptions& o) {
    if (o.xnviewUrl.empty()) return "";
    return std::string("<p>") + kXnViewMarker + "<br><a href=\"" + o.xnviewUrl +
           "\">XnView format libraries</a></p>";
}

inline std::string Layout0Page(const std::vector<PageEntry>& entries, const PageOptions& o = {}) {
    std::string page = "<html><head><title>Quorvane plugins</title></head><body><h1>Plugins</h1>";
    page += kL0CountStart + CountTextFor(entries, o) + kCountEnd + "lang=en\">refresh</a> )</b>";
    page += "</font>" + o.beforeList + "<table><tr><td width=\"105\">";
    for (size_t i = 0; i < entries.size(); ++i) {
        const PageEntry& e = entries[i];
        if (i > 0) page += kL0Separator;
        page += "<img src=\"img/p" + std::to_string(i) + ".png\"";
        page += kL0EntryStart;
        page += "<a href=\"" + e.url + "\">" + e.name + "</a></b><br>";
        page += kL0DescriptionStart + e.description + "<u>Download</u></font><br>";
        page += "<i>Author / Version / Size</i><br>" + e.info;
    }
    page += o.tableEndOnly ? kL0TableEnd : kL0LastEnd;
    page += "Prices are in euros</i></b>" + o.afterList + XnViewSection(o) + "</body></html>";
    return page;
}

inline std::string Layout1Page(const std::vector<PageEntry>& entries, const PageOptions& o = {}) {
    std::string page = "<html><head><title>Quorvane plugins</title></head><body><h1>Plugins</h1>";
    page += kL1CountStart + CountTextFor(entries, o) + kCountEnd + "lang=en\">refresh</a> )</b>";
    page += o.beforeList + "<table><tr><td width=\"105\"><img src=";
    for (size_t i = 0; i < entries.size(); ++i) {
        const PageEntry& e = entries[i];
        if (i > 0) page += kL1Separator;
        page += "\"img/p" + std::to_string(i) + ".png\">";
        page += kL1EntryStart;
        page += "<a href=\"" + e.url + "\">" + e.name + "</a></b>" + e.description;
        page += "<u>Download</u><br><i>Author / Version / Size</i><br>" + e.info;
    }
    page += o.tableEndOnly ? kL1TableEnd : kL1LastEnd;
    page += "\"img/footer.png\">" + o.afterList + XnViewSection(o) + "</body></html>";
    return page;
}

// n plausible entries, numbered in their names so that their order is known.
inline std::vector<PageEntry> GeneratedEntries(int n) {
    std::vector<PageEntry> entries;
    entries.reserve(n);
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
