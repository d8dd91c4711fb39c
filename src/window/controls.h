// Fixed numbers of the wizard window's controls, images and fonts. Log lines and the UI
// driver of the end-to-end tests address controls by these numbers too.
#pragma once

namespace qvk {

enum ControlId : int {
    WizardWindowId = 0,
    WelcomePanel = 1,
    WelcomePicture = 5,
    HeaderFrame = 6,
    BodyFrame = 7,
    SideBanner = 8,
    CancelButton = 9,
    NextButton = 10,
    NotesEditor = 11,
    HeaderBanner = 12,
    ReleaseLine = 13,
    installprog = 14,
    TotalProgressBar = 15,
    CatalogueLog = 16,
    PluginListArea = 17,
    reptype = 18,
    qvcheck = 19,
    qvscheck = 20,
    reptype2 = 21,
    CheckAllButton = 27,
    BrowseQvButton = 29,
    BrowseQvsButton = 30,
    HeadingText = 31,
    TotalProgressLabel = 32,
    FirstPluginCheckBox = 100,
};

// The language dialog's controls. OK and Cancel take the dialog manager's own numbers so that
// Enter and Escape work as in any Windows dialog.
enum LanguageControl : int {
    LanguageOkButton = 1,
    LanguageCancelButton = 2,
    LanguagePrompt = 3,
    LanguageList = 4,
    LanguageIcon = 5,
    LanguageCloseRequest = -1,  // the window's close box, or Alt+F4
};

enum ImageId : int { WelcomeImage = 2, HeaderBannerImage = 33, SideBannerImage = 34 };
enum FontId : int { TitleFont = 3, BodyFont = 4 };

// Message box icon kinds and buttons, with the platform's own values.
enum MessageIcon : int { IconError = 16, IconQuestion = 32, IconWarning = 48, IconInformation = 64 };
enum MessageButtons : int { ButtonsOk = 0, ButtonsYesNo = 4 };
enum MessageAnswer : int { AnswerOk = 1, AnswerYes = 6, AnswerNo = 7 };

}  // namespace qvk
