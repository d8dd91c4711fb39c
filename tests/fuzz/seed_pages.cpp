// Writes valid catalogue pages of both layouts into a folder: the starting corpus of scraper_fuzz.
#include <fstream>

#include "support/catalogue_pages.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    using namespace qvk::test;
    PageOptions xn, ends;
    xn.xnviewUrl = "http://plugins.quorvane.org/dll/XnViewDll.zip";
    ends.tableEndOnly = true;
    ends.countText = "v2: 9 plugins";
    for (int i = 0; i < 4; ++i)
        if (!(std::ofstream(std::string(argv[1]) + "/seed" + std::to_string(i) + ".html", std::ios::binary)
              << LayoutPage(i % 2, GeneratedEntries(3 - i / 2), i < 2 ? xn : ends)))
            return 1;
    return 0;
}
