#include "install/archive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/log.h"
#include "platform/files.h"
#include "unzip.h"

namespace qvk {
namespace {

unzFile Zip(void* handle) { return static_cast<unzFile>(handle); }

// Bit 11 of the general purpose flags: the name is UTF-8.
constexpr unsigned long kUtf8NameFlag = 0x800;
// The DOS attribute bits that mean something for a file written here.
constexpr unsigned kDosAttributeMask = 0x01 | 0x02 | 0x04 | 0x20;

using platform::Utf8Path;

bool RemoveStaged(const std::string& path) {
    platform::ClearAttributes(Utf8Path{path});
    return platform::RemoveFile(Utf8Path{path});
}

// The archive as minizip reads it. Each entry costs minizip a visit to its central record and
// one to its local header and data, and every visit is a seek; through the C library each seek
// is a system call and throws the read buffer away. Here two read windows, one that ends up
// over the central directory and one over the data, serve those visits from memory, so an
// archive of many small files costs a few large reads instead of several calls per entry.
class ArchiveSource {
public:
    static constexpr std::size_t kWindow = 256 * 1024;

    explicit ArchiveSource(std::FILE* file) : file_(file) {
        std::setvbuf(file_, nullptr, _IONBF, 0);  // the windows are the only buffer
        if (std::fseek(file_, 0, SEEK_END) == 0) size_ = std::ftell(file_);
        if (size_ < 0) size_ = 0;
        for (Window& w : windows_) w.data.resize(kWindow);
    }
    ~ArchiveSource() { std::fclose(file_); }

    unsigned long Read(void* buffer, unsigned long size) {
        char* out = static_cast<char*>(buffer);
        unsigned long done = 0;
        while (done < size && position_ < size_) {
            Window* window = WindowAt(position_);
            if (!window) {
                // A large read past both windows goes straight into the caller's buffer.
                if (size - done >= kWindow) {
                    const std::size_t got = ReadAt(position_, out + done, size - done);
                    if (got == 0) break;
                    done += got;
                    position_ += static_cast<long>(got);
                    continue;
                }
                window = Fill(position_);
                if (!window) break;
            }
            const std::size_t offset = static_cast<std::size_t>(position_ - window->start);
            const std::size_t take = std::min<std::size_t>(size - done, window->length - offset);
            std::memcpy(out + done, window->data.data() + offset, take);
            done += take;
            position_ += static_cast<long>(take);
        }
        return done;
    }
    long Seek(ZPOS64_T offset, int origin) {
        const long long base = origin == ZLIB_FILEFUNC_SEEK_CUR ? position_
                               : origin == ZLIB_FILEFUNC_SEEK_END ? size_ : 0;
        const long long target = base + static_cast<long long>(offset);
        if (target < 0 || target > size_) return -1;
        position_ = static_cast<long>(target);
        return 0;
    }
    ZPOS64_T Tell() const { return static_cast<ZPOS64_T>(position_); }
    int Error() const { return failed_ ? 1 : 0; }

private:
    struct Window {
        long start = 0;
        std::size_t length = 0;
        unsigned used = 0;
        std::vector<char> data;
    };
    Window* WindowAt(long at) {
        for (Window& w : windows_)
            if (w.length && at >= w.start && at < w.start + static_cast<long>(w.length)) {
                w.used = ++clock_;
                return &w;
            }
        return nullptr;
    }
    Window* Fill(long at) {
        Window& w = windows_[0].used <= windows_[1].used ? windows_[0] : windows_[1];
        w.start = at;
        w.length = ReadAt(at, w.data.data(), kWindow);
        w.used = ++clock_;
        return w.length ? &w : nullptr;
    }
    std::size_t ReadAt(long at, char* out, std::size_t size) {
        if (std::fseek(file_, at, SEEK_SET) != 0) {
            failed_ = true;
            return 0;
        }
        const std::size_t got = std::fread(out, 1, size, file_);
        if (got < size && std::ferror(file_)) failed_ = true;
        return got;
    }

    std::FILE* file_;
    long size_ = 0;
    long position_ = 0;
    bool failed_ = false;
    unsigned clock_ = 0;
    Window windows_[2];
};

ArchiveSource* Source(voidpf stream) { return static_cast<ArchiveSource*>(stream); }

voidpf ZCALLBACK OpenSource(voidpf, const void* path, int) {
    std::FILE* file = std::fopen(static_cast<const char*>(path), "rb");
    return file ? new ArchiveSource(file) : nullptr;
}
uLong ZCALLBACK ReadSource(voidpf, voidpf stream, void* buffer, uLong size) {
    return Source(stream)->Read(buffer, size);
}
uLong ZCALLBACK WriteSource(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T ZCALLBACK TellSource(voidpf, voidpf stream) { return Source(stream)->Tell(); }
long ZCALLBACK SeekSource(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    return Source(stream)->Seek(offset, origin);
}
int ZCALLBACK CloseSource(voidpf, voidpf stream) {
    delete Source(stream);
    return 0;
}
int ZCALLBACK SourceError(voidpf, voidpf stream) { return Source(stream)->Error(); }

unzFile OpenArchive(const std::string& path) {
    zlib_filefunc64_def functions = {OpenSource, ReadSource, WriteSource, TellSource,
                                     SeekSource, CloseSource, SourceError, nullptr};
    return unzOpen2_64(path.c_str(), &functions);
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

ArchiveReader::ArchiveReader() : buffer_(kChunkSize) {}

ArchiveReader::~ArchiveReader() {
    Discard();
    Close();
}

bool ArchiveReader::Open(const std::string& path) {
    Close();
    failure_.clear();
    skipped_.clear();
    cancelled_ = false;
    zip_ = OpenArchive(path);
    empty_ = !zip_ && IsEmptyArchive(path);
    return zip_ != nullptr || empty_;
}

int ArchiveReader::CountEntries(const std::string& path) {
    unzFile zip = OpenArchive(path);
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

bool ArchiveReader::EnsureFolder(const std::string& folder) {
    // Entries of one folder follow each other: asking the system once per folder, not once per
    // entry and level, saves most of the calls on archives of many small files.
    if (readyFolders_.count(folder)) return true;
    if (!platform::CreateFolderPath(Utf8Path{folder}, &createdFolders_)) return false;
    readyFolders_.insert(folder);
    return true;
}

void ArchiveReader::Fail(const std::string& what) {
    if (failure_.empty()) failure_ = what;
}

void ArchiveReader::Skip(const std::string& shown, const std::string& why) {
    skipped_.push_back({shown, why});
    Log("Entry skipped, " + skipped_.back().why + ": " + skipped_.back().name);
}

bool ArchiveReader::CurrentEntry(void* header, std::string* name, std::string* shown) {
    auto& info = *static_cast<unz_file_info64*>(header);
    // The whole name, however long: a name cut to a buffer would be one the archive does not
    // hold.
    if (unzGetCurrentFileInfo64(Zip(zip_), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        Fail("unreadable entry header");
        return false;
    }
    std::string rawName(info.size_filename, '\0');
    if (!rawName.empty() &&
        unzGetCurrentFileInfo64(Zip(zip_), &info, &rawName[0], static_cast<uLong>(rawName.size()),
                                nullptr, 0, nullptr, 0) != UNZ_OK) {
        Fail("unreadable entry header");
        return false;
    }
    *name = platform::ArchiveNameToUtf8(rawName, (info.flag & kUtf8NameFlag) != 0);
    // The log is ANSI: a letter it lacks shows as "?" there, and only there.
    *shown = IsUtf8(*name) ? platform::Utf8ToAnsi(*name) : *name;
    return true;
}

std::vector<PlannedEntry> ArchiveReader::Survey() {
    std::vector<PlannedEntry> entries;
    const char separator = *platform::PathSeparator();
    for (int move = FirstEntry(); move == UNZ_OK && !Damaged(); move = NextEntry()) {
        unz_file_info64 info;
        std::string name;
        PlannedEntry planned;
        if (!CurrentEntry(&info, &name, &planned.shown)) break;
        const EntryPath entry = SafeEntryPath(name, separator);
        // Refused here, before a byte of the plugin is written.
        if (entry.refused) Skip(planned.shown, "its name " + entry.why);
        else planned.relative = entry.folder && entry.relative.empty() ? "." : entry.relative;
        planned.folder = entry.folder;
        planned.size = info.uncompressed_size;
        planned.packedSize = info.compressed_size;
        // Opening reads the local header, which tells where the bytes really start; nothing is
        // inflated.
        if (unzOpenCurrentFile(Zip(zip_)) != UNZ_OK) {
            Fail("unreadable entry header of " + planned.shown);
            break;
        }
        planned.dataStart = unzGetCurrentFileZStreamPos64(Zip(zip_));
        unzCloseCurrentFile(Zip(zip_));
        entries.push_back(planned);
    }
    std::size_t first, second;
    if (!Damaged() && FindOverlap(entries, &first, &second))
        Fail("entries overlap: " + entries[first].shown + " and " + entries[second].shown +
             " share bytes");
    hasEntry_ = false;
    return entries;
}

void ArchiveReader::ExtractCurrentEntry(const std::vector<std::string>& destinations) {
    if (!zip_ || !hasEntry_ || Damaged()) return;
    unz_file_info64 info;
    std::string name, shown;
    if (!CurrentEntry(&info, &name, &shown)) return;
    const char separator = *platform::PathSeparator();
    const EntryPath entry = SafeEntryPath(name, separator);
    if (entry.refused) {
        Skip(shown, "its name " + entry.why);
        return;
    }

    struct Output {
        std::string temporary, target;  // UTF-8
        std::unique_ptr<platform::WrittenFile> file;
    };
    std::vector<Output> outputs;
    for (const std::string& destination : destinations) {
        // An empty destination would become the root of the current drive.
        if (destination.empty()) continue;
        std::string base = platform::AnsiToUtf8(destination);
        if (base.back() != separator) base += separator;
        const std::size_t lastSeparator = entry.relative.rfind(separator);
        const std::string folder =
            base + (entry.folder ? entry.relative
                    : lastSeparator == std::string::npos ? ""
                                                         : entry.relative.substr(0, lastSeparator));
        if (!EnsureFolder(folder)) {
            const std::string error = platform::LastErrorText();
            Log("Unable to write " + platform::Utf8ToAnsi(folder) + error);
            Skip(shown, "could not be written" + error);
            continue;
        }
        if (entry.folder) continue;
        const std::string target = base + entry.relative;
        if (platform::FolderExists(Utf8Path{target})) {
            Log("Unable to write " + platform::Utf8ToAnsi(target) + ", a folder has that name");
            Skip(shown, "could not be written, a folder has that name");
            continue;
        }
        Output out{target + ".qvk" + std::to_string(++sequence_) + ".tmp", target, nullptr};
        out.file = std::make_unique<platform::WrittenFile>(Utf8Path{out.temporary});
        if (!out.file->Good()) {
            const std::string error = out.file->Error();
            Log("Unable to write " + platform::Utf8ToAnsi(out.target) + error);
            Skip(shown, "could not be written" + error);
            continue;
        }
        outputs.push_back(std::move(out));
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
            // An entry that yields more than it states is not the entry the room was checked
            // for: it stops here, as damage.
            if (total > info.uncompressed_size) break;
            for (Output& out : outputs) out.file->Write(buffer_.data(), static_cast<std::size_t>(got));
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
        // A file that will replace one an earlier installation left reaches the disk first.
        const bool replaces = whole && out.file->Good() && platform::FileExists(Utf8Path{out.target});
        if (!out.file->Close(replaces) || !whole) {
            if (whole) {
                Log("Unable to write " + platform::Utf8ToAnsi(out.target) + out.file->Error());
                Skip(shown, "could not be written" + out.file->Error());
            }
            RemoveStaged(out.temporary);
            continue;
        }
        platform::SetFileDate(Utf8Path{out.temporary}, date);
        // The attributes wait for the move: a read-only file could not be flushed on its way.
        staged_.push_back(
            {out.temporary, out.target, shown, static_cast<unsigned>(info.external_fa & kDosAttributeMask)});
    }
    if (cancelled_) Fail("installation stopped");
    else if (!whole) Fail("damaged data in " + shown);
}

int ArchiveReader::Commit() {
    if (Damaged() || !skipped_.empty()) {
        Discard();
        return 0;
    }
    int installed = 0;
    for (const Staged& file : staged_) {
        const Utf8Path from{file.temporary}, to{file.target};
        bool moved = platform::MoveFileOver(from, to);
        if (!moved) {
            // A read-only file left by an earlier installation is replaced like any other.
            platform::ClearAttributes(to);
            moved = platform::MoveFileOver(from, to);
        }
        if (moved) {
            platform::SetFileDosAttributes(to, file.attributes);
            ++installed;
        } else {
            const std::string error = platform::LastErrorText();
            Log("Unable to write " + platform::Utf8ToAnsi(file.target) + error);
            Skip(file.shown, "could not be written" + error);
            RemoveStaged(file.temporary);
        }
    }
    staged_.clear();
    createdFolders_.clear();
    readyFolders_.clear();
    return installed;
}

void ArchiveReader::Discard() {
    for (const Staged& file : staged_) RemoveStaged(file.temporary);
    staged_.clear();
    // Innermost first; a folder that holds anything else stays.
    for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder)
        platform::RemoveFolder(Utf8Path{*folder});
    createdFolders_.clear();
    readyFolders_.clear();
}

void ArchiveReader::Close() {
    if (zip_) unzClose(Zip(zip_));
    zip_ = nullptr;
    empty_ = false;
    hasEntry_ = false;
}

}  // namespace qvk
