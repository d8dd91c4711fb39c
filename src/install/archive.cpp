#include "install/archive.h"

#include <cstdio>
#include <cstring>

#include "diagnostics/log.h"
#include "platform/files.h"
#include "unzip.h"

namespace qvk {
namespace {

unzFile Zip(void* handle) { return static_cast<unzFile>(handle); }

// Bit 11 of the general purpose flags: the name is UTF-8.
constexpr unsigned long kUtf8NameFlag = 0x800;
// The DOS attribute bits that mean something for a file written here.
constexpr unsigned kDosAttributeMask = 0x01 | 0x02 | 0x04 | 0x20;

bool IsDeviceName(std::string part) {
    // Windows maps these names to devices in every folder, whatever extension follows and with
    // blanks before it ("nul .txt" too); superscript digits count as digits for COM and LPT.
    part = part.substr(0, part.find('.'));
    while (!part.empty() && part.back() == ' ') part.pop_back();
    for (char& c : part)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices)
        if (part == device) return true;
    if (part.size() == 4 && (part.compare(0, 3, "COM") == 0 || part.compare(0, 3, "LPT") == 0)) {
        const unsigned char digit = static_cast<unsigned char>(part[3]);
        return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

bool IsSafePart(const std::string& part) {
    if (part.back() == '.' || part.back() == ' ') return false;  // also "." and ".."
    for (unsigned char c : part)
        if (c < 32 || std::strchr("<>:\"|?*", c)) return false;
    return !IsDeviceName(part);
}

bool RemoveStaged(const std::string& path) {
    platform::ClearAttributes(path);
    return platform::RemoveFile(path);
}

// minizip looks for the end record everywhere but at the file's first byte, so an archive with
// no entries, which is that record alone (and perhaps a comment), does not open. It is an
// archive all the same, with nothing in it.
bool IsEmptyArchive(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    unsigned char record[22];
    const bool whole = std::fread(record, 1, sizeof(record), file) == sizeof(record);
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    if (!whole || std::memcmp(record, "PK\x05\x06", 4) != 0) return false;
    for (int i = 4; i < 20; ++i)
        if (record[i] != 0) return false;
    return size == 22 + (record[20] | record[21] << 8);
}

}  // namespace

EntryPath SafeEntryPath(std::string name, char separator) {
    EntryPath entry;
    for (char& c : name)
        if (c == '/' || c == '\\') c = separator;
    const std::size_t drive = name.find(std::string(":") + separator);
    if (drive != std::string::npos) name.erase(0, drive + 2);
    entry.folder = !name.empty() && name.back() == separator;
    entry.refused = name.empty() || name.front() == separator;
    for (std::size_t start = 0; !entry.refused && start < name.size();) {
        std::size_t end = name.find(separator, start);
        if (end == std::string::npos) end = name.size();
        // Doubled separators name the same folder; Windows takes them as one.
        if (end > start) entry.refused = !IsSafePart(name.substr(start, end - start));
        start = end + 1;
    }
    if (!entry.refused) entry.relative = name;
    return entry;
}

ArchiveReader::ArchiveReader() : buffer_(kChunkSize) {}

ArchiveReader::~ArchiveReader() {
    Discard();
    Close();
}

bool ArchiveReader::Open(const std::string& path) {
    Close();
    failure_.clear();
    cancelled_ = false;
    zip_ = unzOpen64(path.c_str());
    empty_ = !zip_ && IsEmptyArchive(path);
    return zip_ != nullptr || empty_;
}

int ArchiveReader::CountEntries(const std::string& path) {
    unzFile zip = unzOpen64(path.c_str());
    if (!zip) return IsEmptyArchive(path) ? 0 : -1;
    unz_global_info64 info;
    const bool read = unzGetGlobalInfo64(zip, &info) == UNZ_OK;
    unzClose(zip);
    return read ? static_cast<int>(info.number_entry) : -1;
}

int ArchiveReader::FirstEntry() {
    if (empty_) return UNZ_END_OF_LIST_OF_FILE;
    if (!zip_) return UNZ_PARAMERROR;
    // An empty archive has no first entry and is no damage (minizip would read its end record
    // as an entry and call it broken); a directory that cannot be read is.
    unz_global_info64 info;
    if (unzGetGlobalInfo64(Zip(zip_), &info) == UNZ_OK && info.number_entry == 0) {
        hasEntry_ = false;
        return UNZ_END_OF_LIST_OF_FILE;
    }
    const int result = unzGoToFirstFile(Zip(zip_));
    hasEntry_ = result == UNZ_OK;
    if (result != UNZ_OK && result != UNZ_END_OF_LIST_OF_FILE) Fail("unreadable directory");
    return result;
}

int ArchiveReader::NextEntry() {
    if (empty_) return UNZ_END_OF_LIST_OF_FILE;
    if (!zip_) return UNZ_PARAMERROR;
    const int result = unzGoToNextFile(Zip(zip_));
    hasEntry_ = result == UNZ_OK;
    if (result != UNZ_OK && result != UNZ_END_OF_LIST_OF_FILE) Fail("unreadable directory");
    return result;
}

void ArchiveReader::Fail(const std::string& what) {
    if (failure_.empty()) failure_ = what;
}

void ArchiveReader::ExtractCurrentEntry(const std::vector<std::string>& destinations) {
    if (!zip_ || !hasEntry_ || Damaged()) return;
    unz_file_info64 info;
    char rawName[500];
    if (unzGetCurrentFileInfo64(Zip(zip_), &info, rawName, sizeof(rawName), nullptr, 0, nullptr,
                                0) != UNZ_OK) {
        Fail("unreadable entry header");
        return;
    }
    rawName[sizeof(rawName) - 1] = '\0';
    const std::string name = platform::ArchiveNameToAnsi(rawName, (info.flag & kUtf8NameFlag) != 0);
    const char separator = *platform::PathSeparator();
    const EntryPath entry = SafeEntryPath(name, separator);
    if (entry.refused) {
        Log("Entry skipped, its name is not safe to write: " + name);
        return;
    }

    struct Output {
        std::string temporary, target;
        std::FILE* file;
        bool good;
    };
    std::vector<Output> outputs;
    for (std::string base : destinations) {
        // An empty destination would become the root of the current drive.
        if (base.empty()) continue;
        if (base.back() != separator) base += separator;
        if (!platform::CreateFolderPath(base, &createdFolders_)) continue;
        const std::size_t lastSeparator = entry.relative.rfind(separator);
        if (lastSeparator != std::string::npos &&
            !platform::CreateFolderPath(base + entry.relative.substr(0, lastSeparator + 1),
                                        &createdFolders_))
            continue;
        if (entry.folder) continue;
        Output out{base + entry.relative + ".qvk" + std::to_string(++sequence_) + ".tmp",
                   base + entry.relative, nullptr, true};
        out.file = std::fopen(out.temporary.c_str(), "wb");
        if (!out.file) {
            Log("Unable to write " + out.target);
            continue;
        }
        outputs.push_back(out);
    }
    if (entry.folder) return;

    // The data is read even when no destination could take it: damage must show all the same.
    bool whole = unzOpenCurrentFile(Zip(zip_)) == UNZ_OK;
    if (whole) {
        unsigned long long total = 0;
        int got;
        while ((got = unzReadCurrentFile(Zip(zip_), buffer_.data(), kChunkSize)) > 0) {
            if (cancel_ && cancel_->load()) {
                cancelled_ = true;
                break;
            }
            total += static_cast<unsigned>(got);
            for (Output& out : outputs)
                if (out.good && std::fwrite(buffer_.data(), 1, got, out.file) != static_cast<size_t>(got))
                    out.good = false;
        }
        // The CRC is compared when an entry read to its end is closed; a stream that ends early
        // is caught by the size.
        const int closed = unzCloseCurrentFile(Zip(zip_));
        whole = got == 0 && closed == UNZ_OK && total == info.uncompressed_size;
    }
    const platform::LocalDate date{static_cast<int>(info.tmu_date.tm_year),
                                   static_cast<int>(info.tmu_date.tm_mon) + 1,
                                   static_cast<int>(info.tmu_date.tm_mday),
                                   static_cast<int>(info.tmu_date.tm_hour),
                                   static_cast<int>(info.tmu_date.tm_min),
                                   static_cast<int>(info.tmu_date.tm_sec)};
    for (Output& out : outputs) {
        if (std::fclose(out.file) != 0) out.good = false;
        if (!whole || !out.good) {
            if (whole) Log("Unable to write " + out.target);
            RemoveStaged(out.temporary);
            continue;
        }
        platform::SetFileDate(out.temporary, date);
        platform::SetFileDosAttributes(out.temporary, info.external_fa & kDosAttributeMask);
        staged_.push_back({out.temporary, out.target});
    }
    if (cancelled_) Fail("installation stopped");
    else if (!whole) Fail("damaged data in " + name);
}

int ArchiveReader::Commit() {
    if (Damaged()) {
        Discard();
        return 0;
    }
    int installed = 0;
    for (const Staged& file : staged_) {
        bool moved = platform::MoveFileOver(file.temporary, file.target);
        if (!moved) {
            // A read-only file left by an earlier installation is replaced like any other.
            platform::ClearAttributes(file.target);
            moved = platform::MoveFileOver(file.temporary, file.target);
        }
        if (moved) {
            ++installed;
        } else {
            Log("Unable to write " + file.target);
            RemoveStaged(file.temporary);
        }
    }
    staged_.clear();
    createdFolders_.clear();
    return installed;
}

void ArchiveReader::Discard() {
    for (const Staged& file : staged_) RemoveStaged(file.temporary);
    staged_.clear();
    // Innermost first; a folder that holds anything else stays.
    for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder)
        platform::RemoveFolder(*folder);
    createdFolders_.clear();
}

void ArchiveReader::Close() {
    if (zip_) unzClose(Zip(zip_));
    zip_ = nullptr;
    empty_ = false;
    hasEntry_ = false;
}

}  // namespace qvk
