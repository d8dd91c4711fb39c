// Reading plugin archives (ZIP, through minizip) and writing their entries below a folder.
//
// An archive is installed all or nothing as far as its data goes: every entry is first written
// beside its target under a temporary name, and only when the whole archive has been read and
// every entry passed its check do the new files take their targets' places. An entry that
// cannot be written somewhere (protected folder, full disk) only misses there; the file an
// earlier installation left under its name stays as it was.
#pragma once
#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qvk {

// The path an entry name leads to below a destination folder, with the platform's separators.
struct EntryPath {
    std::string relative;
    bool folder = false;   // a folder entry: nothing but folders is created
    bool refused = false;  // the name could reach outside the folder or name no plain file
};

// Applies the naming rules: both "/" and "\" separate folders, everything up to a ":" followed
// by a separator is dropped (a drive prefix), and then a name is refused when it is empty or
// absolute, has a "." or ".." part or a part ending in a dot or blank (Windows would strip it),
// holds a ":" (a drive-relative name or a stream) or a character Windows forbids, or names a
// device such as "CON", "nul.txt" or "COM1".
EntryPath SafeEntryPath(std::string name, char separator);

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
    // Reads the current entry once and writes it beside its target below every non-empty
    // destination. A refused name is logged and skipped.
    void ExtractCurrentEntry(const std::vector<std::string>& destinations);

    // True once an entry failed its check (or reading was cancelled): nothing may be installed.
    bool Damaged() const { return !failure_.empty(); }
    bool Cancelled() const { return cancelled_; }
    const std::string& Failure() const { return failure_; }
    // Files (or their folders) that could not be written, of an archive that read well.
    int WriteFailures() const { return writeFailures_; }

    // Puts every staged file in its target's place (a read-only target is replaced too); a file
    // that cannot take its place is deleted and logged. Returns the number installed.
    int Commit();
    // Deletes every staged file and the folders made for them that stayed empty.
    void Discard();
    void Close();

private:
    struct Staged {
        std::string temporary, target;
        unsigned attributes;
    };
    void Fail(const std::string& what);
    bool EnsureFolder(const std::string& folder);

    void* zip_ = nullptr;
    bool empty_ = false;  // an archive without entries, which minizip does not open
    int writeFailures_ = 0;
    bool hasEntry_ = false;
    const std::atomic<bool>* cancel_ = nullptr;
    bool cancelled_ = false;
    std::string failure_;
    unsigned sequence_ = 0;  // numbers the temporary files
    std::vector<Staged> staged_;
    std::vector<std::string> createdFolders_;
    std::set<std::string> readyFolders_;
    std::vector<char> buffer_;
};

}  // namespace qvk
