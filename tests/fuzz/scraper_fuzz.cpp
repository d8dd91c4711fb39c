// libFuzzer target for the catalogue scraper: any bytes as the page text, with and without a
// redirect host. Nothing may crash (the sanitizers watch) and the result must keep the rules
// every scrape keeps.
#include <cstdio>
#include <cstdlib>

#include "scraper_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    for (bool redirected : {false, true}) {
        const qvk::ScrapeResult r = qvk::ScrapePage(page, "plugins.quorvane.org", redirected ? "127.0.0.3" : "",
                                                    redirected ? "127.0.0.3/plugins.php?lang=en" : "");
        const std::string broken = qvk::test::BrokenScrapeRule(page, r, redirected);
        if (!broken.empty()) std::fprintf(stderr, "scraper rule broken: %s\n", broken.c_str()), std::abort();
    }
    return 0;
}
