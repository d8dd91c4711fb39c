// The user texts in French, English and German.
#pragma once
#include <string>

namespace qvk {

inline constexpr int kLanguageSlots = 55;
inline constexpr int kLanguageCount = 3;  // 0 French, 1 English, 2 German

// Slot numbers, named after their role.
enum TextSlot : int {
    WarningTitle = 0, AbortQuestion = 1, ErrorTitle = 4, ConnectedText = 6, DownloadedText = 7,
    BadListFormat = 8, UnavailableSuffix = 9, FoundSuffix = 10, AnalysisDone = 11,
    DownloadFailed = 12, RetryQuestion = 13, NetworkError = 14, SelectPluginsHeading = 15,
    NoPluginSelected = 16, InstallButtonText = 17, NoEditionSelected = 18, NoFolderEntered = 19,
    TempFolderError = 20, DownloadingPrefix = 21, InformationTitle = 23, InstallFinished = 24,
    LanguagePromptText = 25, LanguageName = 26, CancelText = 27, OkText = 28,
    WelcomeLine1 = 29, WelcomeLine2 = 30, WelcomeLine3 = 31, WelcomeLine4 = 32,
    NextButtonText = 33, NotesHeading = 34, FolderHeading = 35, DescriptionLabel = 36,
    AuthorLabel = 37, VersionDateLabel = 38, SizeLabel = 39, InstallingPrefix = 40,
    UnreadablePrefix = 41, LanguageTitle = 42, CheckAllText = 43, LcidList = 44,
    HostRunningWarning = 45, BrowseText = 46, SelectExeTitle = 47, WelcomeLine5 = 48,
    LanguageCode = 49, ExeNotFoundQuestion = 50, QuestionTitle = 51, UpdateConfigQuestion = 52,
    TotalProgressText = 53, KilobyteUnit = 54,
};

// Fills the table and the notes (start-up); until then every cell is empty.
void FillLanguageTables();
// The cell of a slot in the current language (state.language); empty for a slot out of range.
const std::string& UiText(int slot);
// The cell of a slot in a given language.
const std::string& LanguageText(int language, int slot);
// "Unable to start the installation." in the current language.
std::string StartFailureText();
// The notes page text of a language; empty once released.
const std::string& NotesText(int language);
void ReleaseNotesText();

// 4-digit lower-case hexadecimal form of a language identifier, e.g. 0x0C0C -> "0c0c".
std::string LanguageIdDigits(unsigned id);
// Index of the first language whose identifier list holds the digits, or -1.
int LanguageForId(unsigned id);
// The language of the user's locale: logs the identifier and the language found, sets
// state.language when one matches and returns its index, or -1 (the language stays as it was).
int DetectLanguage();

}  // namespace qvk
