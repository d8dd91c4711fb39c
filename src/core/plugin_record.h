// One catalogue entry and the process-wide list the catalogue fills.
#pragma once
#include <cstdint>
#include <list>
#include <string>
#include <vector>

namespace qvk {

// Where one plugin stands in this run. Each worker writes it where the step happens; the
// unattended summary, its exit code and the log read it, and nothing else decides what was
// installed.
enum class PluginStage : uint8_t {
    NotAsked,        // not ticked, or not reached
    DownloadFailed,  // the last attempt failed and no other was asked for
    Downloaded,      // its archive lies in the work folder
    Unreadable,      // not an archive, or a damaged one: nothing installed from it
    Incomplete,      // some entries could not be placed (see `skipped`)
    Installed,       // every entry in place below every destination
    Stopped,         // the orderly end came first
    Unfit,           // sound, but not for this disk as it is (see `failure`): nothing written
};

struct SkippedEntry {
    std::string name;  // as the log shows it
    std::string why;   // "is absolute", "could not be written (5: Access is denied.)"
};

struct PluginOutcome {
    PluginStage stage = PluginStage::NotAsked;
    std::string workFile;                    // its archive's name in the work folder
    std::string failure;                     // why an unreadable or unfit archive is so
    std::vector<SkippedEntry> skipped;       // in archive order
    std::vector<std::string> installedInto;  // the destination folders, once installed
};

struct PluginRecord {
    std::string name;         // link text; "XnViewDll.zip" for the XnView DLL archive
    std::string url;          // absolute http URL of the ZIP archive
    std::string description;  // HTML line breaks already turned into CR LF
    std::string author;
    std::string versionDate;
    std::string size;
    uint8_t selected = 0;     // 1: download and install
    PluginOutcome outcome;
};

// std::list keeps references stable: the XnView DLL record is held by reference while the
// rest of the list is sorted and walked.
using PluginList = std::list<PluginRecord>;

inline const char* const kXnViewDllName = "XnViewDll.zip";
inline const char* const kXnViewImportName = "Importation XnView";

}  // namespace qvk
