// Times the catalogue scraper on generated pages of 100, 1,000 and 10,000 entries, in both
// layouts, and prints the growth from one size to the next. bench/scraper_bench.sh builds it
// optimised and without sanitizers.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/scraper.h"
#include "core/state.h"
#include "support/catalogue_pages.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Work>
double MedianMs(int rounds, Work work) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int sizes[] = {100, 1000, 10000};
    struct Variant {
        const char* name;
        int layout;
        bool tableEndOnly;
    } variants[] = {{"layout 0", 0, false}, {"layout 1", 1, false},
                    {"layout 1, table end", 1, true}};

    std::printf("median of %d rounds, milliseconds\n", rounds);
    std::printf("%-22s %10s %10s %10s %9s %9s\n", "page", "100", "1,000", "10,000", "x10", "x100");
    bool ok = true;
    for (const Variant& v : variants) {
        double ms[3];
        for (int k = 0; k < 3; ++k) {
            qvk::test::PageOptions o;
            o.tableEndOnly = v.tableEndOnly;
            o.xnviewUrl = "http://plugins.quorvane.org/dll/XnViewDll.zip";
            const auto entries = qvk::test::GeneratedEntries(sizes[k]);
            const std::string page = v.layout == 0 ? qvk::test::Layout0Page(entries, o)
                                                   : qvk::test::Layout1Page(entries, o);
            std::size_t records = 0;
            ms[k] = MedianMs(rounds, [&] {
                const qvk::ScrapeResult r =
                    qvk::ScrapePage(page, "plugins.quorvane.org", "", "");
                records = r.records.size();
            });
            if (records != static_cast<std::size_t>(sizes[k]) + 1) {
                std::printf("%s: %zu records instead of %d\n", v.name, records, sizes[k] + 1);
                ok = false;
            }
        }
        std::printf("%-22s %10.3f %10.3f %10.3f %9.2f %9.2f\n", v.name, ms[0], ms[1], ms[2],
                    ms[1] / ms[0], ms[2] / ms[1]);
    }

    // The whole step as the catalogue thread runs it: the process-wide list and the log box
    // (no window here, so the box lines go nowhere).
    double full[3];
    for (int k = 0; k < 3; ++k) {
        const std::string page = qvk::test::Layout0Page(qvk::test::GeneratedEntries(sizes[k]));
        full[k] = MedianMs(rounds, [&] {
            std::string text = page;
            qvk::state.plugins.clear();
            qvk::ScrapeCatalogue(text, "plugins.quorvane.org", "", "", qvk::catalogueJob);
        });
    }
    std::printf("%-22s %10.3f %10.3f %10.3f %9.2f %9.2f\n", "ScrapeCatalogue", full[0], full[1],
                full[2], full[1] / full[0], full[2] / full[1]);
    return ok ? 0 : 1;
}
