#include "driver/options.h"

#include <algorithm>

#include "core/cleanup.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text_helpers.h"
#include "diagnostics/debug_mode.h"
#include "driver/silent.h"
#include "platform/console.h"
#include "window/ui.h"

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
    bool named = false;
    for (const std::string& arg : args) {
        if (!StartsWith(arg, "-log=")) continue;
        state.logFile = arg.substr(5);
        named = true;
    }
    std::string why;
    for (const std::string& arg : args) {
        if (arg == "-debug" || StartsWith(arg, "-log=")) {
            ActivateDebug(&why);
        } else if (arg == "-tofile") {
            state.keepCatalogueFile = 1;
            Log("Output file enabled");
        } else if (arg == "-safemode") {
            state.safeMode = true;
            ActivateDebug(&why);
        } else if (arg.compare(0, 4, "-url") == 0) {
            ParseUrlOption(arg);
        }
    }
    // Nobody asked for qvk.log, so it may fail unseen; a file someone named is looked for later.
    if (!named || state.debugMode) return;
    state.logFileError = state.logFile.empty()
                             ? std::string("No file name in -log=: use -log=FILE")
                             : "Cannot create the log file \"" + state.logFile + "\"" + why;
    if (!IsSilentRun(args))
        ShowMessage(state.logFileError + "\r\n\r\nThe installation goes on without a log.",
                    IconError, ButtonsOk);
}

bool HelpRequested(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg == "-help" || arg == "/?"; });
}

std::string HelpText(bool forBox) {
    static const char* const kOptions[][2] = {
        {"-debug", "diagnostics on: qvk.log in the current folder and a debug console"},
        {"-log=FILE", "as -debug, the log written to FILE (a relative FILE from the current "
                      "folder); with -silent, no debug console"},
        {"-safemode", "as -debug, and the crash report carries on by itself"},
        {"-tofile", "keep the downloaded catalogue page qvk-plugins.txt"},
        {"-url=HOST|PATH", "another catalogue server and path, over http (port 80); "
                           "-url=https://HOST|PATH or -url=https://HOST:PORT|PATH over HTTPS"},
        {"-silent", "the unattended mode: no language dialog, no window, no question"},
        {"-lang=fr|en|de", "with -silent: the language; without it, the user's locale's"},
        {"-plugins=NAME;NAME", "with -silent: only these plugins of the catalogue; without it, "
                               "every plugin"},
        {"-qvdir=FOLDER", "with -silent: the Quorvane folder, whatever the registry says"},
        {"-qvsdir=FOLDER", "with -silent: the Quorvane Studio folder, likewise"},
        {"-noconfig", "with -silent: the editions' Quorvane.ini are left as they are"},
        {"-connections=N", "with -silent: up to N downloads at once (1 to 8, 4 unless given; "
                           "at most 4 to one server); 1: one after the other"},
        {"-help, /?", "this help"},
    };
    static const char* const kCodes[][2] = {
        {"0", "everything asked for is installed and configured"},
        {"1", "some plugins failed, or an edition's configuration could not be updated"},
        {"2", "the catalogue could not be read"},
        {"3", "no edition folder was found in the registry or given"},
        {"4", "a named plugin is not in the catalogue, an option is malformed or unknown, or the "
              "log file cannot be created: nothing installed"},
    };
    // On a console the effects are wrapped within 80 columns, under their own column.
    auto row = [forBox](const std::string& name, const std::string& effect, size_t width) {
        if (forBox) return "  " + name + "\t" + effect + "\r\n";
        const size_t indent = width + 4;
        std::string out = "  " + name + std::string(width + 2 - name.size(), ' ');
        size_t column = indent;
        for (size_t at = 0; at < effect.size();) {
            size_t end = effect.find(' ', at);
            if (end == std::string::npos) end = effect.size();
            const std::string word = effect.substr(at, end - at);
            if (column > indent && column + 1 + word.size() > 79) {
                out += "\r\n" + std::string(indent, ' ');
                column = indent;
            } else if (column > indent) {
                out += ' ';
                ++column;
            }
            out += word;
            column += word.size();
            at = end + 1;
        }
        return out + "\r\n";
    };
    std::string text = std::string("QVK ") + kRelease +
                       ", the Quorvane Plugins Pack installer\r\n\r\nqvk.exe [options]\r\n";
    for (const auto& option : kOptions) text += row(option[0], option[1], 18);
    text += "\r\nExit codes of -silent:\r\n";
    for (const auto& code : kCodes) text += row(code[0], code[1], 1);
    return text;
}

void ShowHelpAndExit(bool unattended) {
    if (unattended)
        platform::WriteOutput(HelpText(false));
    else
        ShowMessage(HelpText(true), IconInformation, ButtonsOk);
    BareExit();
}

}  // namespace qvk
