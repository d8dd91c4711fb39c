// libFuzzer target for the catalogue scraper: any bytes as the page text. The scraper must not
// crash (the sanitizers watch) and may only ever return records cut from complete entries.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/scraper.h"

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "scraper invariant broken: %s\n", what);
    std::abort();
}

bool StartsWithHttp(const std::string& url) {
    const char* scheme = "http://";
    if (url.size() <= 7) return false;
    for (int i = 0; i < 7; ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    // With and without a redirect host, so the link rewriting runs too.
    for (int redirected = 0; redirected < 2; ++redirected) {
        const qvk::ScrapeResult r =
            qvk::ScrapePage(page, "plugins.quorvane.org", redirected ? "127.0.0.3" : "",
                            redirected ? "127.0.0.3/plugins.php?lang=en" : "");
        if (!r.recognised) {
            Require(r.records.empty(), "records from an unrecognised page");
            continue;
        }
        Require(r.records.size() <= static_cast<size_t>(qvk::CountValue(r.countText)) + 1,
                "more records than announced");
        const qvk::PluginRecord* previous = nullptr;
        for (const qvk::PluginRecord& p : r.records) {
            Require(p.name.find_first_not_of(' ') != std::string::npos, "blank name");
            Require(StartsWithHttp(p.url), "not an absolute http link");
            if (&p != r.xnviewRecord) {
                if (!redirected)
                    Require(page.find("href=\"" + p.url + "\">" + p.name + "</a>") !=
                                std::string::npos, "record not cut from one entry's link");
                Require(!previous || !qvk::NameLess(p.name, previous->name), "list not sorted");
                previous = &p;
            }
        }
        if (r.xnviewRecord) Require(r.xnviewRecord == &r.records.back(), "XnView record not last");
    }
    return 0;
}
