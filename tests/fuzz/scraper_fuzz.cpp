// libFuzzer target for the catalogue scraper: any bytes as the page text, with and without a
// redirect host. Nothing may crash (the sanitizers watch) and the result must keep the rules
// every scrape keeps, whatever the page's damage.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/scraper.h"

namespace {

// The first rule the result breaks, or "". Without a redirect every record (but the XnView one)
// is cut from one entry's link, names and links are never invented or shifted.
std::string BrokenScrapeRule(const std::string& page, const qvk::ScrapeResult& r, bool redirected) {
    if (!r.recognised) return r.records.empty() ? "" : "records from an unrecognised page";
    if (r.records.size() > static_cast<std::size_t>(qvk::CountValue(r.countText)) + 1) return "more records than announced";
    if (r.xnviewRecord && r.xnviewRecord != &r.records.back()) return "XnView record not last";
    const qvk::PluginRecord* previous = nullptr;
    for (const qvk::PluginRecord& p : r.records) {
        if (p.name.find_first_not_of(' ') == std::string::npos) return "blank name";
        if (!qvk::IsAbsoluteHttpUrl(p.url)) return "not an absolute http link: " + p.url;
        if (&p == r.xnviewRecord) continue;
        if (!redirected && page.find("href=\"" + p.url + "\">" + p.name + "</a>") == std::string::npos)
            return "record not cut from one entry's link: " + p.name;
        if (previous && qvk::NameLess(p.name, previous->name)) return "list not sorted at " + p.name;
        previous = &p;
    }
    return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    for (bool redirected : {false, true}) {
        const qvk::ScrapeResult r = qvk::ScrapePage(page, "plugins.quorvane.org", redirected ? "127.0.0.3" : "",
                                                    redirected ? "127.0.0.3/plugins.php?lang=en" : "");
        const std::string broken = BrokenScrapeRule(page, r, redirected);
        if (!broken.empty()) std::fprintf(stderr, "scraper rule broken: %s\n", broken.c_str()), std::abort();
    }
    return 0;
}
