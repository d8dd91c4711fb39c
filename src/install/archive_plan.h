// What is known of an archive from its central directory alone, before any of it is written:
// whether two entries would land on one file, whether entries share bytes, and whether the
// whole of it fits on each disk it goes to.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace qvk {

struct PlannedEntry {
    std::string shown;       // the entry's name as the log shows it
    std::string relative;    // where it lands, as SafeEntryPath gives it; empty when refused
    bool folder = false;
    uint64_t size = 0;       // stated uncompressed size
    uint64_t dataStart = 0;  // offset of its compressed bytes in the archive file
    uint64_t packedSize = 0;
};

// Windows' file systems compare names without regard to case: the key two names share when
// they name one file there. ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters fold;
// anything else is compared as it stands.
std::string FoldedName(const std::string& utf8);

// The first two file entries that land on one file, by their index; false when none do.
// Folders that differ in case merge, as Windows merges them, and are no collision.
bool FindCollision(const std::vector<PlannedEntry>& entries, std::size_t* first, std::size_t* second);

// The first two entries whose compressed bytes overlap in the archive file, by their index.
// Honest archivers never write such entries; a bomb points many at one entry's bytes.
bool FindOverlap(const std::vector<PlannedEntry>& entries, std::size_t* first, std::size_t* second);

using platform::DiskRoom;

// What is kept free on a disk whatever a plugin needs: 64 MB, or 5 % of a smaller disk.
uint64_t KeptFree(uint64_t total);

// Why `need` bytes do not fit on the disk, as the log and the summary say it ("not enough room
// on C:\: 3072 MB needed, 60 MB free, 3 MB kept free"); empty when they fit, or when the
// system did not tell the room.
std::string RoomShortfall(const DiskRoom& room, uint64_t need);

}  // namespace qvk
