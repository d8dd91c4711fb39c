// What any scrape of any page must give, whatever the page's damage.
#pragma once
#include <string>

#include "catalogue/scraper.h"

namespace qvk::test {

// The first rule the result breaks, or "". Without a redirect every record (but the XnView one)
// is cut from one entry's link, names and links are never invented or shifted.
inline std::string BrokenScrapeRule(const std::string& page, const ScrapeResult& r, bool redirected) {
    if (!r.recognised) return r.records.empty() ? "" : "records from an unrecognised page";
    if (r.records.size() > static_cast<std::size_t>(CountValue(r.countText)) + 1) return "more records than announced";
    if (r.xnviewRecord && r.xnviewRecord != &r.records.back()) return "XnView record not last";
    const PluginRecord* previous = nullptr;
    for (const PluginRecord& p : r.records) {
        if (p.name.find_first_not_of(' ') == std::string::npos) return "blank name";
        if (!IsAbsoluteHttpUrl(p.url)) return "not an absolute http link: " + p.url;
        if (&p == r.xnviewRecord) continue;
        if (!redirected && page.find("href=\"" + p.url + "\">" + p.name + "</a>") == std::string::npos)
            return "record not cut from one entry's link: " + p.name;
        if (previous && NameLess(p.name, previous->name)) return "list not sorted at " + p.name;
        previous = &p;
    }
    return "";
}

}  // namespace qvk::test
