#include "driver/silent.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "catalogue/catalogue.h"
#include "core/cleanup.h"
#include "core/log.h"
#include "core/state.h"
#include "core/text_helpers.h"
#include "driver/options.h"
#include "driver/wizard.h"
#include "install/download.h"
#include "install/hosts.h"
#include "install/install.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "texts/language.h"

namespace qvk {
namespace {

const char* const kLanguageCodes[kLanguageCount] = {"fr", "en", "de"};

const Edition* EditionOfOption(const std::string& arg) {
    for (const Edition& edition : kEditions)
        if (StartsWith(arg, edition.folderOption)) return &edition;
    return nullptr;
}

bool ConfigurationFailed(ConfigUpdate result) {
    return result != ConfigUpdate::Rewritten && result != ConfigUpdate::Unchanged;
}

const char* ConfigurationOutcome(ConfigUpdate result) {
    switch (result) {
        case ConfigUpdate::Rewritten: return "updated";
        case ConfigUpdate::Unchanged: return "already set";
        case ConfigUpdate::Missing: return "not updated: no such file";
        case ConfigUpdate::NotWritten: return "not updated: read-only or not writable";
        case ConfigUpdate::Unreadable: return "not updated: not a plain text file";
    }
    return "";
}

}  // namespace

bool IsSilentRun(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "-silent") != args.end();
}

std::string PluginNameKey(const std::string& name) {
    std::string key = AsciiLower(Trimmed(name));
    // The catalogue and the command line are both in the ANSI code page: capital E acute (0xC9)
    // matches small e acute (0xE9) as E matches e.
    for (char& c : key) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) c = static_cast<char>(byte + 0x20);
    }
    return key;
}

SilentOptions ReadSilentOptions(const std::vector<std::string>& args) {
    SilentOptions options;
    auto refuse = [&](const std::string& why) {
        if (options.error.empty()) options.error = why;
    };
    for (const std::string& arg : args) {
        if (arg == "-silent" || arg == "-debug" || arg == "-tofile" || arg == "-safemode" ||
            arg == "-help" || arg == "/?" || StartsWith(arg, "-log="))
            continue;
        if (arg == "-noconfig") {
            options.updateConfig = false;
        } else if (StartsWith(arg, "-lang=")) {
            const std::string code = AsciiLower(arg.substr(6));
            const auto* found = std::find(kLanguageCodes, kLanguageCodes + kLanguageCount, code);
            if (found == kLanguageCodes + kLanguageCount)
                refuse("Malformed option " + arg + ": use -lang=fr, -lang=en or -lang=de");
            else
                options.language = static_cast<int>(found - kLanguageCodes);
        } else if (StartsWith(arg, "-plugins=")) {
            options.plugins.clear();
            std::string rest = arg.substr(9) + ";";
            for (auto cut = rest.find(';'); cut != std::string::npos; cut = rest.find(';')) {
                const std::string name = Trimmed(rest.substr(0, cut));
                if (!name.empty()) options.plugins.push_back(name);
                rest.erase(0, cut + 1);
            }
            if (options.plugins.empty())
                refuse("Malformed option " + arg + ": no plugin name (-plugins=NAME;NAME)");
        } else if (StartsWith(arg, "-connections=")) {
            const std::string value = arg.substr(13);
            const bool digits = value.size() == 1 && value[0] >= '1' &&
                                value[0] <= '0' + kMaxConnections;
            if (digits)
                options.connections = value[0] - '0';
            else
                refuse("Malformed option " + arg + ": use -connections=1 to -connections=" +
                       std::to_string(kMaxConnections));
        } else if (const Edition* edition = EditionOfOption(arg)) {
            const std::string folder = Trimmed(arg.substr(std::strlen(edition->folderOption)));
            if (folder.empty()) refuse("Malformed option " + arg + ": no folder");
            options.folders[edition - kEditions] = folder;
        } else if (StartsWith(arg, "-url")) {
            std::string host, path;
            if (!ReadUrlOption(arg, host, path))
                refuse("Malformed option " + arg + ": use -url=HOST|PATH");
        } else {
            refuse("Unknown option " + arg);
        }
    }
    return options;
}

int SilentPolicy::Answer(const MessageTopic& topic, int style) {
    switch (topic.slot) {
        case RetryQuestion:
            // The catalogue's question names no plugin.
            if (topic.subject.empty()) return ++catalogueRetries_ == 1 ? AnswerYes : AnswerNo;
            return ++downloadRetries_[topic.subject] == 1 ? AnswerYes : AnswerNo;
        case ExeNotFoundQuestion:
            return AnswerNo;  // "retype the directory?": the folder was given or found, keep it
        case UpdateConfigQuestion:
            return updateConfig_ ? AnswerYes : AnswerNo;
        case InstallFinished:
            record.finished = true;
            return AnswerOk;
        default:
            return (style & ButtonsYesNo) ? AnswerNo : AnswerOk;
    }
}

namespace {

bool Failed(const PluginRecord& plugin) {
    return plugin.outcome.stage != PluginStage::NotAsked &&
           plugin.outcome.stage != PluginStage::Installed;
}

// Why a plugin asked for is not installed, as the account says it.
std::string FailureOf(const PluginRecord& plugin) {
    const PluginOutcome& outcome = plugin.outcome;
    switch (outcome.stage) {
        case PluginStage::DownloadFailed: return "download failed";
        case PluginStage::Unreadable: return outcome.workFile + " could not be read";
        case PluginStage::Unfit: return outcome.workFile + " cannot be installed: " + outcome.failure;
        case PluginStage::Incomplete: {
            // A few entries tell the story; thousands would bury the rest of the account.
            constexpr std::size_t kShown = 3;
            std::vector<std::string> entries;
            for (std::size_t i = 0; i < outcome.skipped.size() && i < kShown; ++i)
                entries.push_back(outcome.skipped[i].name + ": " + outcome.skipped[i].why);
            if (outcome.skipped.size() > kShown)
                entries.push_back("and " + std::to_string(outcome.skipped.size() - kShown) + " more");
            return "not every file of " + outcome.workFile + " could be installed: " +
                   Joined(entries, ", ");
        }
        default: return "not installed, the run ended first";
    }
}

}  // namespace

int SilentExitCode(const SilentRecord& record, const PluginList& plugins) {
    if (record.forcedCode >= 0) return record.forcedCode;
    if (!record.catalogueRead) return SilentNoCatalogue;
    if (!record.finished || std::any_of(plugins.begin(), plugins.end(), Failed))
        return SilentPluginsFailed;
    for (const auto& configuration : record.configurations)
        if (ConfigurationFailed(configuration.second)) return SilentPluginsFailed;
    return SilentDone;
}

std::vector<std::string> PluginSummary(const PluginList& plugins) {
    std::vector<std::pair<std::string, std::vector<std::string>>> places;
    std::vector<std::string> failed;
    for (const PluginRecord& plugin : plugins) {
        if (Failed(plugin)) failed.push_back(plugin.name + " (" + FailureOf(plugin) + ")");
        if (plugin.outcome.stage != PluginStage::Installed) continue;
        for (const std::string& folder : plugin.outcome.installedInto) {
            auto place = std::find_if(places.begin(), places.end(),
                                      [&](const auto& p) { return p.first == folder; });
            if (place == places.end()) place = places.insert(places.end(), {folder, {}});
            place->second.push_back(plugin.name);
        }
    }
    std::vector<std::string> lines;
    for (const auto& place : places)
        lines.push_back("  Installed into " + place.first + ": " + Joined(place.second, ", "));
    if (places.empty()) lines.push_back("  Nothing installed");
    if (!failed.empty()) lines.push_back("  Failed: " + Joined(failed, "; "));
    return lines;
}

const char* SilentExitMeaning(int code) {
    switch (code) {
        case SilentDone: return "everything asked for is installed and configured";
        case SilentPluginsFailed: return "some plugins failed";
        case SilentNoCatalogue: return "the catalogue could not be read";
        case SilentNoEdition: return "no edition folder was found or given";
        case SilentBadRequest: return "nothing installed: an option or a plugin name was refused";
        default: return "";
    }
}

SilentUi::SilentUi(Writer writer) : writer_(writer) {}

void SilentUi::Say(const std::string& line) {
    platform::MutexLock lock(mutex_);
    if (writer_) writer_(line + "\r\n");
}

int SilentUi::Message(const std::string& text, const std::string& title, int style,
                      const MessageTopic& topic) {
    platform::MutexLock lock(mutex_);
    const int answer = policy_.Answer(topic, style);
    const char* word = answer == AnswerYes ? "Yes" : answer == AnswerNo ? "No" : "OK";
    Log(std::string("Unattended answer: ") + word);
    if (writer_) writer_("[" + title + "] " + text + " -> " + word + "\r\n");
    return answer;
}

void SilentUi::SetText(int control, const std::string& text) {
    platform::MutexLock lock(mutex_);
    texts_[control] = text;
    if (control != HeadingText) return;
    // A transfer's status ends with its size and speed, new twenty times a second: the line is
    // written once per file. The pages' own headings are no news to anyone without the pages.
    std::string shown = text;
    if (StartsWith(text, UiText(DownloadingPrefix)) || StartsWith(text, UiText(ConnectedText))) {
        const auto cut = text.rfind(" (");
        if (cut != std::string::npos) shown.erase(cut);
    }
    for (int page : {NotesHeading, SelectPluginsHeading, FolderHeading})
        if (shown == UiText(page)) shown.clear();
    if (shown == heading_) return;
    heading_ = shown;
    if (!shown.empty() && writer_) writer_(shown + "\r\n");
}

std::string SilentUi::GetText(int control) {
    platform::MutexLock lock(mutex_);
    const auto found = texts_.find(control);
    return found == texts_.end() ? std::string() : found->second;
}

void SilentUi::SetProgress(int control, int value) {
    if (control != TotalProgressBar) return;
    // The bar runs to 200: downloads fill its first half, the installation the second.
    const int percent = std::max(0, std::min(100, value / 2));
    platform::MutexLock lock(mutex_);
    if (percent == totalShown_) return;
    totalShown_ = percent;
    if (writer_) writer_(UiText(TotalProgressText) + ": " + std::to_string(percent) + "%\r\n");
}

void SilentUi::Enable(int control, bool enabled) {
    platform::MutexLock lock(mutex_);
    if (control != NextButton) return;
    nextEnabled_ = enabled;
    // Only the catalogue thread enables Next, as its last act after a successful reading.
    if (enabled) policy_.record.catalogueRead = true;
}

void SilentUi::AddLine(int control, const std::string& line) {
    if (control == CatalogueLog) Say("  " + line);
}

int SilentUi::GetState(int control) {
    platform::MutexLock lock(mutex_);
    const auto found = states_.find(control);
    return found == states_.end() ? 0 : found->second;
}

void SilentUi::SetState(int control, int state) {
    platform::MutexLock lock(mutex_);
    states_[control] = state;
}

void SilentUi::AnswerConfiguration(bool update) {
    platform::MutexLock lock(mutex_);
    policy_ = SilentPolicy(update);
}

void SilentUi::Force(int code) {
    platform::MutexLock lock(mutex_);
    policy_.record.forcedCode = code;
}

void SilentUi::NoteConfiguration(const std::string& folder, ConfigUpdate result) {
    platform::MutexLock lock(mutex_);
    policy_.record.configurations.emplace_back(folder, result);
}

bool SilentUi::NextEnabled() {
    platform::MutexLock lock(mutex_);
    return nextEnabled_;
}

SilentRecord SilentUi::Record() {
    platform::MutexLock lock(mutex_);
    return policy_.record;
}

namespace {

SilentUi* silentUi = nullptr;
const SilentOptions* silentOptions = nullptr;

bool Requested(const std::string& name) {
    if (silentOptions->plugins.empty()) return true;
    const std::string key = PluginNameKey(name);
    return std::any_of(silentOptions->plugins.begin(), silentOptions->plugins.end(),
                       [&](const std::string& wanted) { return PluginNameKey(wanted) == key; });
}

// The check list as the user would leave it: a box per announced plugin, ticked when asked for.
void TickRequested(int count) {
    auto record = state.plugins.begin();
    for (int i = 0; i < count && record != state.plugins.end(); ++i, ++record) {
        silentUi->SetText(FirstPluginCheckBox + i, record->name);
        silentUi->SetState(FirstPluginCheckBox + i, Requested(record->name) ? 1 : 0);
    }
}

void NoteConfiguration(const std::string& folder, ConfigUpdate result) {
    silentUi->NoteConfiguration(folder, result);
}

// The final account: on the output and in the log. It runs once the workers have left the
// plugin list, so their records are complete.
int ReportEnd(const std::string&) {
    const SilentRecord record = silentUi->Record();
    const int code = SilentExitCode(record, state.plugins);
    std::vector<std::string> lines = {"Summary:"};
    for (const std::string& line : PluginSummary(state.plugins)) lines.push_back(line);
    for (const auto& configuration : record.configurations)
        lines.push_back("  " + configuration.first + kHostConfigName + ": " +
                        ConfigurationOutcome(configuration.second));
    if (LogIsOn()) lines.push_back("  Log: " + state.logFile);
    lines.push_back("Exit code: " + std::to_string(code) + " (" + SilentExitMeaning(code) + ")");
    LogLines(lines);
    for (const std::string& line : lines) silentUi->Say(line);
    return code;
}

[[noreturn]] void Stop(int code, const std::string& why) {
    silentUi->Say(why);
    silentUi->Force(code);
    CleanUpAndExit(why);
}

bool Next() { return OnControl(NextButton) == LoopAction::Continue; }

}  // namespace

namespace {

// The language, the banner and a command line it cannot take: the start-up's language step.
void BeginSilent(SilentUi& ui, const SilentOptions& options) {
    silentUi = &ui;
    silentOptions = &options;
    ui.AnswerConfiguration(options.updateConfig);
    state.connections = options.connections;
    SetEndReport(ReportEnd);
    if (options.language >= 0)
        state.language = options.language;
    else
        DetectLanguage();
    ui.Say(std::string("QVK ") + kRelease + ", unattended installation (" +
           UiText(LanguageName) + ")");
    if (!options.error.empty()) Stop(SilentBadRequest, options.error);
    // An administrator who named the log reads it afterwards: no run that would leave none.
    if (!state.logFileError.empty()) Stop(SilentBadRequest, state.logFileError);
}

// The console stands in for the window: the wizard's hooks are the unattended mode's own.
bool PrepareSilentWizard() {
    WizardHooks hooks;
    hooks.buildCheckList = TickRequested;
    hooks.configurationUpdated = NoteConfiguration;
    SetWizardHooks(hooks);
    return true;
}

// The wizard's pages walked in order, each answered as the options say; ends the program.
[[noreturn]] void WalkWizard(SilentUi& ui, const SilentOptions& options) {
    EnterMainLoop();
    ui.Say("Catalogue: " + AbsoluteUrl(CatalogueUrl(state.catalogueHost, state.cataloguePath)));
    Next();  // welcome to notes
    Next();  // notes to catalogue: starts the catalogue thread
    // The thread enables Next when the page is read; when it gives up it ends the program. A
    // thread that never started, or that left without either, would leave the wizard waiting
    // for a Cancel that nobody here can press.
    while (!ui.NextEnabled()) {
        if (!platform::ThreadRunning(state.catalogueThread) && !ui.NextEnabled())
            Stop(SilentNoCatalogue, "The catalogue was not read");
        platform::SleepMs(1);
    }
    Next();  // catalogue to plugin list: the boxes of the plugins asked for are ticked

    std::vector<std::string> unknown;
    for (const std::string& name : options.plugins) {
        bool found = false;
        for (int i = 0; i < state.pluginCount && !found; ++i)
            found = PluginNameKey(ui.GetText(FirstPluginCheckBox + i)) == PluginNameKey(name);
        if (!found) unknown.push_back(name);
    }
    if (!unknown.empty()) Stop(SilentBadRequest, "Not in the catalogue: " + Joined(unknown, "; "));
    if (!Next()) Stop(SilentNoCatalogue, "The catalogue lists no plugin");

    // The registry has had its say (and its log lines); folders given on the command line win.
    for (int i = 0; i < kEditionCount; ++i) {
        const std::string& given = options.folders[i];
        if (given.empty()) continue;
        Log(kEditions[i].givenLogName + given);
        ui.SetText(kEditions[i].folderField, given);
        ui.SetState(kEditions[i].tickBox, 1);
    }
    if (!Next()) Stop(SilentNoEdition, "No edition folder was found or given");
    for (const Edition& edition : kEditions)
        if (const std::string& folder = state.*edition.chosenFolder; !folder.empty())
            ui.Say("Installing into " + folder + "Plugins" + platform::PathSeparator());
    for (;;) {
        PollWorkers();  // starts the install thread, then ends the program
        platform::SleepMs(1);
    }
}

}  // namespace

StartUpSteps SilentStartUp(SilentUi& ui, std::vector<std::string> args) {
    StartUpSteps steps;
    // Read once the wizard's own options have had their say (and, with -debug, their log lines).
    auto options = std::make_shared<SilentOptions>();
    steps.chooseLanguage = [&ui, options, args] {
        *options = ReadSilentOptions(args);
        BeginSilent(ui, *options);
    };
    steps.buildWindow = PrepareSilentWizard;
    steps.runMainLoop = [&ui, options] { WalkWizard(ui, *options); };
    return steps;
}

}  // namespace qvk
