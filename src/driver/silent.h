// The unattended mode (-silent): the wizard's own step handlers and worker threads, walked
// without a window. A Ui kept in memory stands in for the window: it answers every message box
// by a fixed policy and writes the progress and a final account to the console the program was
// started from. The wizard itself is not changed by any of it.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/plugin_record.h"
#include "driver/start_up.h"
#include "install/download_pool.h"
#include "install/editions.h"
#include "install/host_config.h"
#include "platform/threads.h"
#include "window/ui.h"

namespace qvk {

// The exit codes of the unattended mode.
enum SilentExit : int {
    SilentDone = 0,           // everything asked for is installed and configured
    SilentPluginsFailed = 1,  // some plugins (or a configuration update) failed
    SilentNoCatalogue = 2,    // the catalogue could not be read
    SilentNoEdition = 3,      // no edition folder was found or given
    SilentBadRequest = 4,     // an option is malformed, a named plugin is not in the catalogue or
                              // the log file that -log= names cannot be created
};

struct SilentOptions {
    int language = -1;                 // 0 French, 1 English, 2 German; -1: the user's locale
    std::vector<std::string> plugins;  // names as given; empty: every plugin of the catalogue
    std::string folders[kEditionCount];  // by the editions' table; empty: as the registry proposes
    bool updateConfig = true;
    int connections = kDefaultConnections;
    std::string error;                 // why the command line is refused; empty when it is not
};

// True when "-silent" is among the arguments (exact, as every option).
bool IsSilentRun(const std::vector<std::string>& args);
// The unattended mode's reading of the command line. Its own options and the wizard's are
// known; anything else, or a known option with an unusable value, is an error, since nobody is
// there to notice that a mistyped switch was ignored.
SilentOptions ReadSilentOptions(const std::vector<std::string>& args);
// The key a plugin name is compared by: blanks around it dropped, the letters of the ANSI code
// page (Western) in lower case.
std::string PluginNameKey(const std::string& name);

// What the run has shown so far beyond the plugins' own records, as the exit code and the final
// account need it.
struct SilentRecord {
    bool catalogueRead = false;  // the catalogue thread enabled Next
    bool finished = false;       // "Installation finished." was shown
    int forcedCode = -1;         // a code the driver decided on itself
    std::vector<std::pair<std::string, ConfigUpdate>> configurations;  // folder, result
};
// Read from the record and from each plugin's outcome: a plugin asked for and not installed
// whole, in every destination, makes it 1.
int SilentExitCode(const SilentRecord& record, const PluginList& plugins);
const char* SilentExitMeaning(int code);
// The account's lines about the plugins, from their outcomes: where each installed one went,
// and every one asked for that failed, with why.
std::vector<std::string> PluginSummary(const PluginList& plugins);

// The answers: a failed download is retried once, then skipped; an unreadable archive is
// skipped; a missing edition program is accepted; the configuration question is Yes unless
// configuration is off; the catalogue's retry question is Yes once, then No; any other box OK,
// or No when it asks.
class SilentPolicy {
public:
    explicit SilentPolicy(bool updateConfig = true) : updateConfig_(updateConfig) {}
    int Answer(const MessageTopic& topic, int style);
    SilentRecord record;

private:
    bool updateConfig_;
    int catalogueRetries_ = 0;
    std::map<std::string, int> downloadRetries_;
};

// The window-less Ui: control texts and states in memory, message boxes answered by the
// policy, and what a user would watch (status lines, the total bar, the catalogue's findings,
// every box with its answer) written as lines, each only when it changed. Any thread.
class SilentUi : public Ui {
public:
    using Writer = void (*)(const std::string& text);
    explicit SilentUi(Writer writer);

    int Message(const std::string& text, const std::string& title, int style,
                const MessageTopic& topic) override;
    void SetText(int control, const std::string& text) override;
    std::string GetText(int control) override;
    void SetProgress(int control, int value) override;
    void SetProgressMax(int, int) override {}
    void Enable(int control, bool enabled) override;
    void AddLine(int control, const std::string& line) override;
    void Show(int, bool) override {}
    void Free(int) override {}
    int GetState(int control) override;
    void SetState(int control, int state) override;
    void Move(int, int, int, int, int) override {}

    void Say(const std::string& line);
    void AnswerConfiguration(bool update);
    void Force(int code);
    void NoteConfiguration(const std::string& folder, ConfigUpdate result);
    bool NextEnabled();
    SilentRecord Record();

private:
    Writer writer_;
    platform::Mutex mutex_;
    SilentPolicy policy_;
    std::map<int, std::string> texts_;
    std::map<int, int> states_;
    std::string heading_;
    int totalShown_ = -1;
    bool nextEnabled_ = false;
};

// The unattended run's steps of the start-up, from the language to the end. `args` are the
// command line's arguments, the unattended mode's options among them.
StartUpSteps SilentStartUp(SilentUi& ui, std::vector<std::string> args);

}  // namespace qvk
