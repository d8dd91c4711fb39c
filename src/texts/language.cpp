// The user texts in French, English and German, and the helpers that show them.
//
// Every text is kept as the Windows-1252 bytes that the window layer hands to the "A" calls of
// the system, so this file stays plain ASCII and no compiler charset setting can alter a text:
// each accented letter is a hex escape, and each escape ends its literal piece ("Fran\xE7" "ais")
// because a hex escape would otherwise swallow the hex digits that follow it.
#include "texts/language.h"

#include "core/log.h"
#include "core/state.h"
#include "platform/system.h"

namespace qvk {
namespace {

// One row per slot, in the order French, English, German. Leading and trailing blanks belong to
// the texts (the welcome lines are indented by them, labels end with one). The reserved slots
// and the texts a language does not need are empty texts.
const char* const kTexts[kLanguageSlots][kLanguageCount] = {
    // 0 WarningTitle
    {"Attention", "Warning", "Achtung"},
    // 1 AbortQuestion
    {"Voulez-vous annuler l'installation des plugins Quorvane ?",
     "Do you really want to abort Quorvane plugins installation?",
     "M\xF6" "chten Sie die Installation der Quorvane Plugins abbrechen ?"},
    // 2 reserved
    {"", "", ""},
    // 3 reserved
    {"", "", ""},
    // 4 ErrorTitle
    {"Erreur", "Error", "Fehler"},
    // 5 reserved
    {"", "", ""},
    // 6 ConnectedText
    {"Connexion au serveur r\xE9" "ussi. R\xE9" "cup\xE9" "ration du fichier.",
     "Connected to server. Downloading the file.",
     "Die Verbindung zum Server ist gelungen. Die Datei wird geladen."},
    // 7 DownloadedText
    {"R\xE9" "cup\xE9" "ration du fichier r\xE9" "ussie. Analyse du fichier en cours...",
     "File downloaded successfully. Analysing file...",
     "Das Laden der Datei ist beendet. Analyse der Datei l\xE4" "uft..."},
    // 8 BadListFormat
    {"La liste n'est plus au format ad\xE9" "quat.",
     "The list format is not correct.",
     "Die Liste ist nicht mehr im ad\xE4" "quaten Format."},
    // 9 UnavailableSuffix
    {" modules actuellement disponibles",
     " plugins currently unavailable",
     " aktuell verf\xFC" "gbare Module"},
    // 10 FoundSuffix
    {" plugins trouv\xE9" "s : ", " plugins found: ", " gefundene Plugins : "},
    // 11 AnalysisDone
    {"Analyse termin\xE9" "e.", "End of analysis.", "Analyse beendet."},
    // 12 DownloadFailed
    {"R\xE9" "cup\xE9" "ration du fichier \xE9" "chou\xE9" "e.",
     "Failed to download file.",
     "Laden der abgebrochenen Datei."},
    // 13 RetryQuestion
    {"La tentative de r\xE9" "cup\xE9" "ration du fichier %fichier%a \xE9" "chou\xE9" " ! "
     "Voulez-vous r\xE9" "essayer ?",
     "Failed to download file %fichier%! Do you want to retry?",
     "Der Versuch die Datei %fichier%zu laden ist gescheitert ! Wollen Sie es nochmals "
     "versuchen ?"},
    // 14 NetworkError
    {"Impossible d'initialiser le r\xE9" "seau.",
     "Unable to reach the network.",
     "Unm\xF6" "glich das Netz zu initialisieren."},
    // 15 SelectPluginsHeading
    {"Veuillez s\xE9" "lectionner les plugins \xE0" " installer :",
     "Please select plugins to install:",
     "W\xE4" "hlen Sie die zu installierenden Plugins aus :"},
    // 16 NoPluginSelected
    {"Vous devez s\xE9" "lectionner au moins un plugin !",
     "You must select at least one plugin!",
     "Sie m\xFC" "ssen mindestens ein Plugin ausw\xE4" "hlen !"},
    // 17 InstallButtonText
    {"Installer >", "Install >", "Installieren >"},
    // 18 NoEditionSelected
    {"Vous devez s\xE9" "lectionner au moins une version de Quorvane !",
     "You must select at least one Quorvane version!",
     "Sie m\xFC" "ssen mindestens eine Version von Quorvane ausw\xE4" "hlen !"},
    // 19 NoFolderEntered
    {"Vous n'avez pas saisi de r\xE9" "pertoire !",
     "You did not enter the directory!",
     "Sie haben kein Verzeichnis bestimmt !"},
    // 20 TempFolderError
    {"Impossible de cr\xE9" "er le r\xE9" "pertoire temporaire !",
     "Unable to create temporary folder!",
     "Unm\xF6" "glich das tempor\xE4" "re Verzeichnis zu erstellen !"},
    // 21 DownloadingPrefix
    {"T\xE9" "l\xE9" "chargement de : ", "Downloading: ", "Herunterladen von : "},
    // 22 reserved
    {"", "", ""},
    // 23 InformationTitle
    {"Information", "Information", "Information"},
    // 24 InstallFinished
    {"Installation termin\xE9" "e.", "Installation finished.", "Installation beendet."},
    // 25 LanguagePromptText
    {"Veuillez s\xE9" "lectionner votre langue : ",
     "Please select you language: ",
     "W\xE4" "hlen Sie Ihre Sprache aus : "},
    // 26 LanguageName
    {"Fran\xE7" "ais", "English", "Deutsch"},
    // 27 CancelText
    {"Annuler", "Cancel", "Abbrechen"},
    // 28 OkText
    {"OK", "OK", "OK"},
    // 29 WelcomeLine1
    {"  Bienvenue dans l'installation",
     "  Welcome on the Quorvane",
     "  Willkommen zu der Installation"},
    // 30 WelcomeLine2
    {"  des plugins Quorvane", "  plugins installation", "  von Quorvane Plugins"},
    // 31 WelcomeLine3
    {"   Cet assistant va vous aider durant toute l'installation",
     "   This wizard will help you during the Quorvane plugins",
     "   Dieser Assistent wird Ihnen bei der gesamten"},
    // 32 WelcomeLine4
    {"   des plugins pour Quorvane sur votre ordinateur",
     "   installation on your computer",
     "   Installation der Plugins f\xFC" "r Quorvane auf Ihrem"},
    // 33 NextButtonText
    {"Suivant >", "Next >", "Weiter >"},
    // 34 NotesHeading
    {"Veuillez prendre connaissance de ces notes :",
     "Please read these notes:",
     "Nehmen Sie Kenntnis von diesen Anmerkungen :"},
    // 35 FolderHeading
    {"Veuillez choisir les r\xE9" "pertoires o\xF9" " sont install\xE9" "s Quorvane et Quorvane "
     "Studio (n'en saisir qu'un s'ils sont au m\xEA" "me endroit) :",
     "Indicate in which directory Quorvane and/or Quorvane Studio are installed (Indicate only "
     "one directory if they both are in the same place):",
     "W\xE4" "hlen Sie die Verzeichnisse in denen Quorvane und Quorvane Studio installiert sind "
     "(Befinden beide sich im gleichen, nur einmal angeben) :"},
    // 36 DescriptionLabel
    {"Description : ", "Description: ", "Beschreibung : "},
    // 37 AuthorLabel
    {"Auteur : ", "Autor: ", "Autor : "},
    // 38 VersionDateLabel
    {"Version et date : ", "Version and date: ", "Version und Datum : "},
    // 39 SizeLabel
    {"Taille \xE0" " t\xE9" "l\xE9" "charger : ",
     "Size to download: ",
     "Gr\xF6" "sse zum Herunterladen : "},
    // 40 InstallingPrefix
    {"Installation de : ", "Installing: ", "Installation von : "},
    // 41 UnreadablePrefix
    {"Impossible de lire ", "Unable to read ", "Unm\xF6" "glich zu lesen "},
    // 42 LanguageTitle
    {"Langue", "Language", "Sprache"},
    // 43 CheckAllText
    {"(D\xE9" ")Cocher tout", "(Un)Check all", "Alles (ent)markieren"},
    // 44 LcidList
    {"080c;0c0c;040c;140c;180c;100c",
     "0c09;2809;1009;2409;4009;1809;1809;2009;4409;1409;3409;4809;1c09;2c09;0809;0409;3009",
     "0c07;0407;1407;1007;0807"},
    // 45 HostRunningWarning
    {"L'installateur a d\xE9" "tect\xE9" " que %logiciel% est lanc\xE9" ". Vous devriez le fermer "
     "avant de continuer.",
     "Setup has detected %logiciel% is running. You should close it before installing plugins.",
     "Die Installation hat festgestellt dass %logiciel% gestartet ist. Sie m\xFC" "ssen es "
     "schliessen bevor Sie fortfahren."},
    // 46 BrowseText
    {"Parcourir...", "Browse...", "Durchsuchen..."},
    // 47 SelectExeTitle
    {"S\xE9" "lectionnez l'ex\xE9" "cutable de %logiciel%...",
     "Please select %logiciel% executable...",
     "W\xE4" "hlen Sie die Exe-Datei von %logiciel%..."},
    // 48 WelcomeLine5
    {"", "", "   Computer helfen"},
    // 49 LanguageCode
    {"fr", "en", "de"},
    // 50 ExeNotFoundQuestion
    {"%logiciel% n'a pas \xE9" "t\xE9" " trouv\xE9" " dans le r\xE9" "pertoire sp\xE9" "cifi\xE9"
     ". D\xE9" "sirez-vous resaisir le r\xE9" "pertoire ?",
     "%logiciel% hasn't been found in the specified directory. "
     "Do you want to retype the directory?",
     "%logiciel% wurde nicht in dem angegebenen Verzeichnis gefunden. M\xF6" "chten Sie das "
     "Verzeichnis neu eingeben ?"},
    // 51 QuestionTitle
    {"Question", "Question", "Frage"},
    // 52 UpdateConfigQuestion
    {"Voulez-vous mettre \xE0" " jour la configuration de %logiciel% pour utiliser les plugins ?",
     "Do you want to update %logiciel% configuration in order to use plugins?",
     "Wollen Sie die Einstellungen von %logiciel% aktualisieren um die Plug-ins zu benutzen?"},
    // 53 TotalProgressText
    {"Progression totale", "Total progress", "Totales Fortschreiten"},
    // 54 KilobyteUnit
    {"Ko", "KB", "KB"},
};

// The notes page, one text per language, lines separated by CR LF as the rich text box wants
// them. The addresses are written out in full so that the box shows them as links.
const char* const kNotes[kLanguageCount] = {
    // French
    "Ce pack installe tous les plugins de Quorvane ainsi que les autres fichiers n\xE9"
    "cessaires \xE0" " leur fonctionnement.\r\n"
    "Une connexion Internet est n\xE9" "cessaire : l'installateur t\xE9" "l\xE9" "charge d'abord "
    "la liste des plugins disponibles, puis les plugins que vous aurez choisis.\r\n"
    "Il est fortement conseill\xE9" " de fermer Quorvane avant de commencer l'installation et de "
    "ne pas le relancer avant la fin de celle-ci.\r\n"
    "L'installateur vous demandera le r\xE9" "pertoire dans lequel Quorvane est install\xE9" ". "
    "Par d\xE9" "faut, il s'agit de \"C:\\Program Files\\Quorvane\\\". Les plugins seront alors "
    "copi\xE9" "s dans son sous-r\xE9" "pertoire \"Plugins\", qui est cr\xE9" "\xE9" " "
    "automatiquement : ne le saisissez pas vous-m\xEA" "me, indiquez seulement le r\xE9"
    "pertoire de Quorvane.\r\n"
    "\r\n"
    "Programmation : l'\xE9" "quipe des plugins Quorvane - support@quorvane.org - "
    "http://www.quorvane.org/\r\n"
    "Un grand merci \xE0" " tous les auteurs de plugins et \xE0" " tous les testeurs qui ont "
    "aid\xE9" " \xE0" " pr\xE9" "parer ce pack.\r\n"
    "Remarque : le choix de la langue ne change que la langue de cet installateur, pas celle des "
    "plugins ni celle de leurs descriptions.",
    // English
    "This pack installs all the Quorvane plugins and the other files needed to run them.\r\n"
    "An Internet connection is required: the installer first downloads the list of available "
    "plugins, then the plugins you have selected.\r\n"
    "You are strongly advised to close Quorvane before starting the installation and to leave it "
    "closed until the installation is finished.\r\n"
    "The installer will ask you for the folder in which Quorvane is installed. By default this is "
    "\"C:\\Program Files\\Quorvane\\\". The plugins are then copied to its \"Plugins\" subfolder, "
    "which is created automatically: do not type it in yourself, give only the folder of "
    "Quorvane.\r\n"
    "\r\n"
    "Programming: the Quorvane plugins team - support@quorvane.org - http://www.quorvane.org/\r\n"
    "Many thanks to all the plugin authors and to every tester who helped to prepare "
    "this pack.\r\n"
    "Note: the language choice changes only the language of this installer, not the language of "
    "the plugins or of their descriptions.",
    // German
    "Dieses Paket installiert alle Quorvane Plugins sowie die anderen Dateien, die f\xFC" "r "
    "ihren Betrieb n\xF6" "tig sind.\r\n"
    "Eine Internetverbindung ist erforderlich: Die Installation l\xE4" "dt zuerst die Liste der "
    "verf\xFC" "gbaren Plugins und danach die ausgew\xE4" "hlten Plugins herunter.\r\n"
    "Es wird dringend empfohlen, Quorvane vor Beginn der Installation zu schliessen und es bis zu "
    "ihrem Ende nicht wieder zu starten.\r\n"
    "Die Installation wird Sie nach dem Verzeichnis fragen, in dem Quorvane installiert ist. "
    "Standardm\xE4" "ssig ist das \"C:\\Programme\\Quorvane\\\". Die Plugins werden dann in "
    "dessen Unterverzeichnis \"Plugins\" kopiert, das automatisch erstellt wird: Geben Sie es "
    "nicht selbst ein, sondern nur das Verzeichnis von Quorvane.\r\n"
    "\r\n"
    "Programmierung: das Quorvane Plugins Team - support@quorvane.org - "
    "http://www.quorvane.org/\r\n"
    "Vielen Dank an alle Autoren der Plugins und an alle Tester, die bei der Vorbereitung dieses "
    "Pakets geholfen haben.\r\n"
    "Hinweis: Die Wahl der Sprache \xE4" "ndert nur die Sprache dieser Installation, nicht die "
    "der Plugins oder ihrer Beschreibungen.",
};

// Said when a worker thread cannot be started, so that a run that did nothing never ends with
// "Installation finished."; kept apart from the numbered table, whose slots are fixed.
const char* const kStartFailure[kLanguageCount] = {
    "Impossible de d\xE9" "marrer l'installation.",
    "Unable to start the installation.",
    "Die Installation kann nicht gestartet werden.",
};

// Filled once at start-up, read by every thread afterwards.
std::string table[kLanguageCount][kLanguageSlots];
std::string notes[kLanguageCount];
const std::string kEmptyText;

bool ValidLanguage(int language) { return language >= 0 && language < kLanguageCount; }
bool ValidSlot(int slot) { return slot >= 0 && slot < kLanguageSlots; }

}  // namespace

void FillLanguageTables() {
    for (int language = 0; language < kLanguageCount; ++language) {
        for (int slot = 0; slot < kLanguageSlots; ++slot)
            table[language][slot] = kTexts[slot][language];
        notes[language] = kNotes[language];
    }
}

const std::string& LanguageText(int language, int slot) {
    if (!ValidLanguage(language) || !ValidSlot(slot)) return kEmptyText;
    return table[language][slot];
}

const std::string& UiText(int slot) { return LanguageText(state.language, slot); }

std::string StartFailureText() {
    return ValidLanguage(state.language) ? kStartFailure[state.language] : kStartFailure[1];
}

const std::string& NotesText(int language) {
    return ValidLanguage(language) ? notes[language] : kEmptyText;
}

void ReleaseNotesText() {
    // swap, not clear(): the point is to give the memory back once the page is gone.
    for (std::string& text : notes) std::string().swap(text);
}

std::string LanguageIdDigits(unsigned id) {
    // A language identifier is 16 bits wide; anything above is not part of it.
    static const char kDigits[] = "0123456789abcdef";
    id &= 0xFFFFu;
    std::string digits(4, '0');
    for (int i = 3; i >= 0; --i, id >>= 4) digits[i] = kDigits[id & 0xFu];
    return digits;
}

int LanguageForId(unsigned id) {
    const std::string digits = LanguageIdDigits(id);
    for (int language = 0; language < kLanguageCount; ++language) {
        // Whole entries only: the lists are ";"-separated 4-digit identifiers.
        const std::string& list = LanguageText(language, LcidList);
        std::string::size_type start = 0;
        while (start <= list.size()) {
            auto end = list.find(';', start);
            if (end == std::string::npos) end = list.size();
            if (list.compare(start, end - start, digits) == 0) return language;
            start = end + 1;
        }
    }
    return -1;
}

int DetectLanguage() {
    const unsigned id = platform::UserLanguageId();
    Log("Language ID found: 0x" + LanguageIdDigits(id));
    const int found = LanguageForId(id);
    if (found >= 0) {
        Log("Language found: " + LanguageText(found, LanguageName));
        state.language = found;
    }
    return found;
}

}  // namespace qvk
