// One catalogue entry and the process-wide list the catalogue fills.
#pragma once
#include <cstdint>
#include <list>
#include <string>

namespace qvk {

struct PluginRecord {
    std::string name;         // link text; "XnViewDll.zip" for the XnView DLL archive
    std::string url;          // absolute http URL of the ZIP archive
    std::string description;  // HTML line breaks already turned into CR LF
    std::string author;
    std::string versionDate;
    std::string size;
    uint8_t selected = 0;     // 1: download and install
};

// std::list keeps references stable: the XnView DLL record is held by reference while the
// rest of the list is sorted and walked.
using PluginList = std::list<PluginRecord>;

inline const char* const kXnViewDllName = "XnViewDll.zip";
inline const char* const kXnViewImportName = "Importation XnView";

}  // namespace qvk
