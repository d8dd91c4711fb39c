#include "driver/options.h"

#include "core/log.h"
#include "core/state.h"
#include "diagnostics/debug_mode.h"

namespace qvk {

bool ReadUrlOption(const std::string& arg, std::string& host, std::string& path) {
    // Only the first four characters name the option; the fifth is a separator of any kind.
    const std::string rest = arg.size() > 5 ? arg.substr(5) : std::string();
    const auto bar = rest.find('|');
    if (bar == std::string::npos) return false;
    host = rest.substr(0, bar);
    if (host.empty()) return false;
    if (host.back() == '/') host.pop_back();
    if (host.compare(0, 7, "http://") == 0) host.erase(0, 7);
    // "-url=/|/p" or "-url=http://|/p" leave no host once trimmed: keep the defaults rather
    // than aim every request at an empty name.
    if (host.empty()) return false;
    path = rest.substr(bar + 1);
    if (path.empty()) return false;
    if (path[0] != '/') path.insert(0, "/");
    return true;
}

void ParseUrlOption(const std::string& arg) {
    Log("URL specified...");
    if (arg.find('|', 5) == std::string::npos) {
        Log("Can't find URL");
        return;
    }
    std::string host, path;
    if (!ReadUrlOption(arg, host, path)) return;
    state.cataloguePath = path;
    state.catalogueHost = host;
    Log("URL changed (" + host + path + ")");
}

void ParseOptions(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "-debug") {
            ActivateDebug();
        } else if (arg == "-tofile") {
            state.keepCatalogueFile = 1;
            Log("Output file enabled");
        } else if (arg == "-safemode") {
            state.safeMode = true;
            ActivateDebug();
        } else if (arg.compare(0, 4, "-url") == 0) {
            ParseUrlOption(arg);
        }
    }
}

}  // namespace qvk
