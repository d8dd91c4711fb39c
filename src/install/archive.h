// Reading plugin archives (ZIP, through minizip) and writing their entries below a folder.
//
// A plugin is installed whole or not at all: every entry is first written beside its target
// under a temporary name, and only when the whole archive has been read, every entry passed its
// check and found its place in every destination do the new files take their targets' places.
// An entry skipped for any reason (a name not safe to write, a file or folder that cannot be
// written) takes the whole plugin back, as damage does: the files an earlier installation left
// stay as they were, and a half plugin, or one half new and half old, never loads.
#pragma once
#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/plugin_record.h"
#include "install/archive_plan.h"
#include "install/file_names.h"

namespace qvk {

class ArchiveReader {
public:
    static constexpr unsigned kChunkSize = 102400;

    ArchiveReader();
    ~ArchiveReader();  // closes the archive and deletes whatever is still staged
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Reading stops, as after damage, once *cancel is true.
    void SetCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }

    // Closes any archive still open, then opens this one. False when it cannot be opened.
    bool Open(const std::string& path);
    // Entries in the archive's central directory, read through a separate opening; -1 when the
    // archive cannot be opened.
    static int CountEntries(const std::string& path);
    // Moves to the first or the next entry: 0 when an entry became current.
    int FirstEntry();
    int NextEntry();
    // Walks the whole central directory before anything is written: each entry's name as it
    // would land, its stated size and where its bytes lie. Entries whose bytes overlap make
    // the archive damaged; a name that cannot be written is skipped, as in ExtractCurrentEntry.
    // Leaves no entry current; FirstEntry starts the extraction.
    std::vector<PlannedEntry> Survey();
    // Reads the current entry once and writes it beside its target below every non-empty
    // destination (ANSI folders). An entry that cannot be written everywhere is logged and
    // recorded as skipped.
    void ExtractCurrentEntry(const std::vector<std::string>& destinations);

    // True once an entry failed its check (or reading was cancelled): nothing may be installed.
    bool Damaged() const { return !failure_.empty(); }
    bool Cancelled() const { return cancelled_; }
    const std::string& Failure() const { return failure_; }
    // The entries skipped so far, each with why, in archive order.
    const std::vector<SkippedEntry>& Skipped() const { return skipped_; }

    // With nothing skipped and no damage: puts every staged file in its target's place (a
    // read-only target is replaced too) and returns the number installed; otherwise takes
    // everything back as Discard does and returns 0. A target that refuses to be replaced at
    // this last step (a file the system holds in use) is skipped; the others take their places.
    int Commit();
    // Deletes every staged file and the folders made for them that stayed empty.
    void Discard();
    void Close();

private:
    struct Staged {
        std::string temporary, target;  // UTF-8
        std::string shown;              // the entry's name as the log shows it
        unsigned attributes;
    };
    void Fail(const std::string& what);
    // Records an entry that is not installed, and logs it from that record; `shown` is its
    // name as the log has it.
    void Skip(const std::string& shown, const std::string& why);
    bool EnsureFolder(const std::string& folder);
    // The current entry's header and its name in UTF-8 and as the log shows it; false (and the
    // archive damaged) when the header cannot be read.
    bool CurrentEntry(void* info, std::string* name, std::string* shown);

    void* zip_ = nullptr;
    bool empty_ = false;  // an archive without entries, which minizip does not open
    std::vector<SkippedEntry> skipped_;
    bool hasEntry_ = false;
    const std::atomic<bool>* cancel_ = nullptr;
    bool cancelled_ = false;
    std::string failure_;
    unsigned sequence_ = 0;  // numbers the temporary files
    std::vector<Staged> staged_;
    std::vector<std::string> createdFolders_;  // UTF-8, as the staged paths
    std::set<std::string> readyFolders_;
    std::vector<char> buffer_;
};

}  // namespace qvk
