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

// The text between a template's head and tail around its placeholder, when `text` is made
// from it.
bool MatchTemplate(const std::string& text, const std::string& pattern,
                   const std::string& placeholder, std::string& subject) {
    const auto at = pattern.find(placeholder);
    if (pattern.empty()) return false;
    if (at == std::string::npos) {
        subject.clear();
        return text == pattern;
    }
    const std::string head = pattern.substr(0, at);
    const std::string tail = pattern.substr(at + placeholder.size());
    if (text.size() < head.size() + tail.size() || !StartsWith(text, head) ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    subject = text.substr(head.size(), text.size() - head.size() - tail.size());
    return true;
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
        if (arg == "-silent" || arg == "-debug" || arg == "-tofile" || arg == "-safemode") continue;
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

RecognisedMessage RecogniseMessage(const std::string& text) {
    struct Pattern {
        int slot;
        std::string pattern, placeholder;
    };
    const Pattern patterns[] = {
        {RetryQuestion, UiText(RetryQuestion), "%fichier%"},
        {UnreadablePrefix, UiText(UnreadablePrefix) + "%fichier% !", "%fichier%"},
        {ExeNotFoundQuestion, UiText(ExeNotFoundQuestion), "%logiciel%"},
        {UpdateConfigQuestion, UiText(UpdateConfigQuestion), "%logiciel%"},
        {HostRunningWarning, UiText(HostRunningWarning), "%logiciel%"},
        {InstallFinished, UiText(InstallFinished), ""},
        {NetworkError, UiText(NetworkError), ""},
        {BadListFormat, UiText(BadListFormat), ""},
        {NoPluginSelected, UiText(NoPluginSelected), ""},
        {NoEditionSelected, UiText(NoEditionSelected), ""},
        {NoFolderEntered, UiText(NoFolderEntered), ""},
        {TempFolderError, UiText(TempFolderError), ""},
        {AbortQuestion, UiText(AbortQuestion), ""},
    };
    RecognisedMessage message;
    for (const Pattern& p : patterns) {
        if (!MatchTemplate(text, p.pattern, p.placeholder.empty() ? "\x01" : p.placeholder,
                           message.subject))
            continue;
        message.slot = p.slot;
        // The retry question's name is followed by one blank of its own.
        if (p.slot == RetryQuestion && !message.subject.empty() && message.subject.back() == ' ')
            message.subject.pop_back();
        return message;
    }
    return RecognisedMessage();
}

int SilentPolicy::Answer(const std::string& text, int style) {
    const RecognisedMessage message = RecogniseMessage(text);
    switch (message.slot) {
        case RetryQuestion:
            if (message.subject.empty()) return ++catalogueRetries_ == 1 ? AnswerYes : AnswerNo;
            if (++downloadRetries_[message.subject] == 1) return AnswerYes;
            record.failedDownloads.push_back(message.subject);
            return AnswerNo;
        case UnreadablePrefix:
            record.unreadable.push_back(message.subject);
            return AnswerOk;
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

int SilentExitCode(const SilentRecord& record) {
    if (record.forcedCode >= 0) return record.forcedCode;
    if (!record.catalogueRead) return SilentNoCatalogue;
    if (!record.finished || !record.failedDownloads.empty() || !record.unreadable.empty() ||
        !record.incomplete.empty())
        return SilentPluginsFailed;
    for (const auto& configuration : record.configurations)
        if (ConfigurationFailed(configuration.second)) return SilentPluginsFailed;
    return SilentDone;
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

int SilentUi::Message(const std::string& text, const std::string& title, int style) {
    platform::MutexLock lock(mutex_);
    const int answer = policy_.Answer(text, style);
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

bool Holds(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The final account: on the output and in the log.
int ReportEnd(const std::string&) {
    SilentRecord record = silentUi->Record();
    // Read only once the install thread is over, which "Installation finished." tells.
    if (record.finished) record.incomplete = state.incompleteArchives;
    const int code = SilentExitCode(record);
    std::vector<std::string> lines = {"Summary:"};
    if (record.finished) {
        std::vector<std::string> plugins, dlls, failed;
        for (const PluginRecord& plugin : state.plugins) {
            if (plugin.selected != 1) continue;
            const std::string file = FileNameOfUrl(plugin.url);
            if (Holds(record.unreadable, file)) {
                failed.push_back(plugin.name + " (" + file + " could not be read)");
            } else if (Holds(record.incomplete, file)) {
                failed.push_back(plugin.name + " (not every file of " + file + " could be written)");
            } else {
                (plugin.name == kXnViewDllName ? dlls : plugins).push_back(plugin.name);
            }
        }
        for (const std::string& name : record.failedDownloads)
            failed.push_back(name + " (download failed)");
        for (const Edition& edition : kEditions)
            if (const std::string& folder = state.*edition.chosenFolder; !folder.empty() && !plugins.empty())
                lines.push_back("  Installed into " + folder + "Plugins" +
                                platform::PathSeparator() + ": " + Joined(plugins, ", "));
        if (!dlls.empty()) lines.push_back("  Installed into " + SystemFolder() + ": " + dlls[0]);
        if (plugins.empty() && dlls.empty()) lines.push_back("  Nothing installed");
        if (!failed.empty()) lines.push_back("  Failed: " + Joined(failed, "; "));
        for (const auto& configuration : record.configurations)
            lines.push_back("  " + configuration.first + kHostConfigName + ": " +
                            ConfigurationOutcome(configuration.second));
    } else {
        lines.push_back("  Nothing installed");
    }
    if (LogIsOn()) lines.push_back(std::string("  Log: ") + kLogFileName);
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
    SetEndReport(ReportEnd);
    if (options.language >= 0)
        state.language = options.language;
    else
        DetectLanguage();
    ui.Say(std::string("QVK ") + kRelease + ", unattended installation (" +
           UiText(LanguageName) + ")");
    if (!options.error.empty()) Stop(SilentBadRequest, options.error);
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
