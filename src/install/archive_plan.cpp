#include "install/archive_plan.h"

#include <algorithm>
#include <map>

#include "core/text_helpers.h"

namespace qvk {
namespace {

// One code point folded to lower case, where its lower case is a single letter of these blocks.
unsigned long Folded(unsigned long c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    // Latin Extended-A pairs each capital with the code after it, on even codes, on odd ones
    // between U+0139 and U+0148 and again from U+0179.
    if (c == 0x178) return 0xFF;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c % 2 == 0 ? c + 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 1 ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

}  // namespace

std::string FoldedName(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            AppendUtf8(out, Folded(lead));
            ++i;
        } else if (lead >= 0xC2 && lead <= 0xDF && i + 1 < utf8.size()) {
            const unsigned long c = (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            AppendUtf8(out, Folded(c));
            i += 2;
        } else {
            out += utf8[i++];
        }
    }
    return out;
}

bool FindCollision(const std::vector<PlannedEntry>& entries, std::size_t* first, std::size_t* second) {
    std::map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].folder || entries[i].relative.empty()) continue;
        const auto [at, added] = seen.emplace(FoldedName(entries[i].relative), i);
        if (!added) {
            *first = at->second;
            *second = i;
            return true;
        }
    }
    return false;
}

bool FindOverlap(const std::vector<PlannedEntry>& entries, std::size_t* first, std::size_t* second) {
    // Entries without bytes (folders, empty files) share nothing.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].packedSize) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return entries[a].dataStart < entries[b].dataStart;
    });
    // In order of their starts, an entry overlaps an earlier one when it starts before the
    // furthest end reached so far.
    std::size_t furthest = 0;
    uint64_t reach = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const PlannedEntry& entry = entries[order[k]];
        if (k > 0 && entry.dataStart < reach) {
            *first = std::min(furthest, order[k]);
            *second = std::max(furthest, order[k]);
            return true;
        }
        if (entry.dataStart + entry.packedSize > reach) {
            reach = entry.dataStart + entry.packedSize;
            furthest = order[k];
        }
    }
    return false;
}

uint64_t KeptFree(uint64_t total) { return std::min<uint64_t>(64ull << 20, total / 20); }

std::string RoomShortfall(const DiskRoom& room, uint64_t need) {
    if (!room.known) return std::string();
    const uint64_t kept = KeptFree(room.total);
    if (room.free >= kept && room.free - kept >= need) return std::string();
    // What is needed rounded up, what is free rounded down: neither flatters the disk.
    const auto up = [](uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB"; };
    const auto down = [](uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; };
    return "not enough room on " + room.disk + ": " + up(need) + " needed, " + down(room.free) +
           " free, " + up(kept) + " kept free";
}

}  // namespace qvk
