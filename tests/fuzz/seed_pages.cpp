// Writes a few valid catalogue pages into a folder: the starting corpus of scraper_fuzz.
#include <cstdio>
#include <fstream>
#include <string>

#include "support/catalogue_pages.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    using namespace qvk::test;
    PageOptions xn;
    xn.xnviewUrl = "http://plugins.quorvane.org/dll/XnViewDll.zip";
    PageOptions ends;
    ends.tableEndOnly = true;
    ends.countText = "v2: 9 plugins";
    const std::string pages[] = {Layout0Page(GeneratedEntries(3), xn), Layout1Page(GeneratedEntries(3), xn),
                                 Layout0Page(GeneratedEntries(2), ends), Layout1Page(GeneratedEntries(2), ends)};
    int i = 0;
    for (const std::string& page : pages) {
        std::ofstream out(std::string(argv[1]) + "/seed" + std::to_string(i++) + ".html",
                          std::ios::binary);
        out << page;
        if (!out) return 1;
    }
    return 0;
}
