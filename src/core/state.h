// The one process-wide installer record and the three worker parameter blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/plugin_record.h"
#include "platform/threads.h"

namespace qvk {

inline const char* const kRelease = "1.5.0.0";
// 15/08/2008, 14:32:29 UTC: fixed so that every build prints the same banner.
inline constexpr int64_t kBuildTime = 1218810749;
inline const char* const kLogFileName = "qvk.log";
inline const char* const kTempSubFolder = "qvk";
inline const char* const kDefaultCataloguePath = "/plugins.php";
inline const char* const kDefaultCatalogueHost = "plugins.quorvane.org";
inline const char* const kSupportAddress = "support@quorvane.org";
inline const char* const kCatalogueFile = "qvk-plugins.txt";
inline const char* const kCataloguePartFile = "qvk-plugins.txt.part";
inline const char* const kLocalCatalogueFile = "qvk-local.txt";

using platform::ThreadHandle;

struct InstallerState {
    int32_t language = 1;  // 0 French, 1 English, 2 German
    bool debugMode = false;
    bool safeMode = false;
    int32_t keepCatalogueFile = 0;
    std::string catalogueHost = kDefaultCatalogueHost;
    std::string cataloguePath = kDefaultCataloguePath;
    std::string systemTempDir;
    std::string workDir;
    int32_t step = 0;
    ThreadHandle catalogueThread = nullptr;
    int32_t downloadStarted = 0;
    ThreadHandle downloadThread = nullptr;
    int32_t installStarted = 0;
    ThreadHandle installThread = nullptr;
    int32_t pluginCount = 0;
    PluginRecord* xnviewRecord = nullptr;
    int32_t tickedCount = 0;
    int32_t downloadCount = 0;
    // Downloads at once: the wizard's one at a time, or what the unattended mode was told.
    int32_t connections = 1;
    std::string qvDir;
    std::string qvsDir;
    PluginList plugins;  // each record carries what became of its plugin
    // The log's file: qvk.log in the current folder unless -log= names another one.
    std::string logFile = kLogFileName;
    // Why the file that -log= named could not be created; empty when it was, or none was named.
    std::string logFileError;
};

// Four fields each: the main thread fills a block before it starts the worker and reads the
// integer results only after the worker has ended.
struct CatalogueJob {
    int32_t countOrKeep = 0;           // in: keep flag; out: announced plugin count
    PluginRecord* xnviewRecord = nullptr;  // out: the XnView DLL archive record, or none
    std::string host;
    std::string path;
};

struct DownloadJob {
    int32_t count = 0;  // in: entries to download; out: archives fetched
    int32_t unused = 0;
    std::string workDir;
    std::string unusedText;
    int32_t connections = 1;  // transfers at once; above 1 the install runs beside them
};

struct InstallJob {
    int32_t count = 0;  // archives to install
    int32_t unused = 0;
    std::string qvDir;
    std::string qvsDir;
    // The downloads still run: each record waits until it and every one before it are settled,
    // and `count` is the number of archives asked for.
    bool followsDownloads = false;
};

extern InstallerState state;
extern CatalogueJob catalogueJob;
extern DownloadJob downloadJob;
extern InstallJob installJob;

// Restores every field to its start value (start-up step 2 and the unit tests).
void ResetState();

}  // namespace qvk
