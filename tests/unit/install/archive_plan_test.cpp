#include <gtest/gtest.h>

#include "install/archive_plan.h"

namespace qvk {
namespace {

// A name ending in "/" is a folder, as in a ZIP archive.
PlannedEntry File(std::string relative, uint64_t start = 0, uint64_t packed = 0) {
    PlannedEntry entry;
    entry.folder = !relative.empty() && relative.back() == '/';
    if (entry.folder) relative.pop_back();
    entry.shown = entry.relative = relative;
    entry.dataStart = start;
    entry.packedSize = packed;
    return entry;
}

TEST(ArchivePlan, NamesThatWindowsHoldsAsOneFileCollide) {
    EXPECT_EQ(FoldedName("\xC3\x89t\xC3\xA9 \xC4\x80\xC5\x81\xC5\xB8\xCE\xA3\xD0\x96\xD0\x81"),
              "\xC3\xA9t\xC3\xA9 \xC4\x81\xC5\x82\xC3\xBF\xCF\x83\xD0\xB6\xD1\x91");
    EXPECT_EQ(FoldedName("\xC3\x97\xE5\x86\x99"), "\xC3\x97\xE5\x86\x99");  // no case: as it stands
    const struct {
        std::vector<const char*> names;
        int first, second;  // -1: no collision
    } cases[] = {
        {{"Filter.8bf", "readme.txt", "filter.8bf"}, 0, 2},
        {{"\xC3\x89t\xC3\xA9.txt", "\xC3\xA9T\xC3\xA9.TXT"}, 0, 1},
        {{"Point.8bf", "Point.8b", "Presets/a.prs", "presets/b.prs"}, -1, -1},
        // Folders merge; a refused name (no place) takes part in nothing.
        {{"Presets/", "presets/", "", ""}, -1, -1},
    };
    for (const auto& c : cases) {
        std::vector<PlannedEntry> entries;
        for (const char* name : c.names) entries.push_back(File(name));
        std::size_t first = 9, second = 9;
        const bool found = FindCollision(entries, &first, &second);
        EXPECT_EQ(found, c.first >= 0) << c.names[0];
        if (found) {
            EXPECT_EQ(first * 10 + second, static_cast<std::size_t>(c.first * 10 + c.second));
        }
    }
}

TEST(ArchivePlan, EntriesSharingBytesOverlap) {
    std::size_t first = 9, second = 9;
    // Honest neighbours, empty entries sharing a start, then one inside an earlier long one.
    std::vector<PlannedEntry> entries = {File("a", 100, 50), File("b", 180, 10), File("e1", 300, 0),
                                         File("e2", 300, 0), File("c", 30, 60)};
    EXPECT_FALSE(FindOverlap(entries, &first, &second));
    entries.push_back(File("d", 190, 5));
    EXPECT_FALSE(FindOverlap(entries, &first, &second));
    entries.push_back(File("inside", 60, 20));  // within c, found past a, which starts later
    ASSERT_TRUE(FindOverlap(entries, &first, &second));
    EXPECT_EQ(entries[first].shown + "+" + entries[second].shown, "c+inside");
}

TEST(ArchivePlan, RoomKeepsTheSmallerOf64MbAnd5Percent) {
    constexpr uint64_t MB = 1 << 20;
    EXPECT_EQ(KeptFree(64 * MB), 64 * MB / 20);
    EXPECT_EQ(KeptFree(100000 * MB), 64 * MB);
    DiskRoom room;
    room.disk = "C:\\";
    EXPECT_EQ(RoomShortfall(room, 1ull << 40), "");  // the system did not tell: nothing to go by
    room.known = true;
    room.total = 64 * MB;
    room.free = 60 * MB;
    EXPECT_EQ(RoomShortfall(room, room.free - KeptFree(room.total)), "");
    EXPECT_EQ(RoomShortfall(room, room.free - KeptFree(room.total) + 1),
              "not enough room on C:\\: 57 MB needed, 60 MB free, 4 MB kept free");
    room.free = MB / 2;  // less than is kept free: not even an empty plugin
    EXPECT_EQ(RoomShortfall(room, 0), "not enough room on C:\\: 0 MB needed, 0 MB free, 4 MB kept free");
}

}  // namespace
}  // namespace qvk
