#include "texts/language.h"
#include "texts/text_helpers.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "driver/state.h"

namespace qvk {
namespace {

const int kReserved[] = {2, 3, 5, 22};
const int kFrench = 0, kEnglish = 1, kGerman = 2;

std::string Bytes(std::initializer_list<unsigned char> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        FillLanguageTables();
    }
    void TearDown() override { ResetState(); }
};

TEST_F(LanguageTest, EverySlotIsFilledExceptTheReservedOnes) {
    const std::set<int> reserved(std::begin(kReserved), std::end(kReserved));
    for (int language = 0; language < kLanguageCount; ++language) {
        for (int slot = 0; slot < kLanguageSlots; ++slot) {
            const std::string& text = LanguageText(language, slot);
            const bool emptyByDesign =
                reserved.count(slot) || (slot == WelcomeLine5 && language != kGerman);
            EXPECT_EQ(text.empty(), emptyByDesign) << "language " << language << " slot " << slot;
        }
    }
    EXPECT_EQ(LanguageText(kGerman, WelcomeLine5), "   Computer helfen");
    // Out of range asks give an empty text rather than reading beyond the table.
    EXPECT_TRUE(LanguageText(kEnglish, -1).empty());
    EXPECT_TRUE(LanguageText(kEnglish, kLanguageSlots).empty());
    EXPECT_TRUE(LanguageText(3, 0).empty());
}

TEST_F(LanguageTest, EachLanguageDescribesItself) {
    EXPECT_EQ(LanguageText(kFrench, LanguageName), Bytes({0x46, 0x72, 0x61, 0x6E, 0xE7, 0x61, 0x69, 0x73}));
    EXPECT_EQ(LanguageText(kEnglish, LanguageName), "English");
    EXPECT_EQ(LanguageText(kGerman, LanguageName), "Deutsch");
    EXPECT_EQ(LanguageText(kFrench, LanguageCode), "fr");
    EXPECT_EQ(LanguageText(kEnglish, LanguageCode), "en");
    EXPECT_EQ(LanguageText(kGerman, LanguageCode), "de");
    EXPECT_EQ(LanguageText(kFrench, LcidList), "080c;0c0c;040c;140c;180c;100c");
    EXPECT_EQ(LanguageText(kGerman, LcidList), "0c07;0407;1407;1007;0807");
    EXPECT_EQ(Count(LanguageText(kEnglish, LcidList), ";"), 16);
}

TEST_F(LanguageTest, AccentedLettersAreSingleCp1252Bytes) {
    const std::string& abort = LanguageText(kGerman, AbortQuestion);
    ASSERT_GE(abort.size(), 2u);
    EXPECT_EQ(abort.substr(0, 2), Bytes({'M', 0xF6}));
    EXPECT_EQ(LanguageText(kFrench, CheckAllText), Bytes({'(', 'D', 0xE9}) + ")Cocher tout");
    EXPECT_EQ(LanguageText(kGerman, SizeLabel), Bytes({'G', 'r', 0xF6}) + "sse zum Herunterladen : ");
    EXPECT_EQ(LanguageText(kFrench, SizeLabel),
              Bytes({'T', 'a', 'i', 'l', 'l', 'e', ' ', 0xE0, ' ', 't', 0xE9, 'l', 0xE9}) +
                  "charger : ");
    // No text may carry UTF-8 sequences or stray control bytes: the window layer passes them
    // to the "A" calls as they are. Only the notes have line breaks, and only CR LF ones.
    for (int language = 0; language < kLanguageCount; ++language) {
        for (int slot = 0; slot < kLanguageSlots; ++slot) {
            for (unsigned char c : LanguageText(language, slot)) {
                EXPECT_TRUE((c >= 0x20 && c < 0x7F) || c >= 0xC0)
                    << "language " << language << " slot " << slot << " byte " << int(c);
                EXPECT_NE(c, 0xC3) << "UTF-8 lead byte in language " << language << " slot " << slot;
            }
        }
        const std::string& notes = NotesText(language);
        EXPECT_EQ(Count(notes, "\xC3"), 0);
        EXPECT_EQ(Count(notes, "\n"), Count(notes, "\r\n"));
        EXPECT_EQ(Count(notes, "\r"), Count(notes, "\r\n"));
    }
}

TEST_F(LanguageTest, BlanksAndPlaceholdersMatchAcrossLanguages) {
    auto leading = [](const std::string& text) { return text.find_first_not_of(' '); };
    for (int language = 0; language < kLanguageCount; ++language) {
        EXPECT_EQ(leading(LanguageText(language, WelcomeLine1)), 2u) << language;
        EXPECT_EQ(leading(LanguageText(language, WelcomeLine2)), 2u) << language;
        EXPECT_EQ(leading(LanguageText(language, WelcomeLine3)), 3u) << language;
        EXPECT_EQ(leading(LanguageText(language, WelcomeLine4)), 3u) << language;
        for (int slot : {DownloadingPrefix, DescriptionLabel, AuthorLabel, VersionDateLabel,
                         SizeLabel, InstallingPrefix, UnreadablePrefix, FoundSuffix}) {
            EXPECT_EQ(LanguageText(language, slot).back(), ' ') << language << " slot " << slot;
        }
        EXPECT_EQ(LanguageText(language, UnavailableSuffix).front(), ' ');
        EXPECT_EQ(LanguageText(language, FoundSuffix).front(), ' ');
        for (int slot = 0; slot < kLanguageSlots; ++slot) {
            const std::string& text = LanguageText(language, slot);
            const bool edition = slot == HostRunningWarning || slot == SelectExeTitle ||
                                 slot == ExeNotFoundQuestion || slot == UpdateConfigQuestion;
            EXPECT_EQ(Count(text, "%logiciel%"), edition ? 1 : 0) << language << " slot " << slot;
            EXPECT_EQ(Count(text, "%fichier%"), slot == RetryQuestion ? 1 : 0)
                << language << " slot " << slot;
        }
    }
    EXPECT_EQ(leading(LanguageText(kGerman, WelcomeLine5)), 3u);
}

TEST_F(LanguageTest, UiTextFollowsTheCurrentLanguage) {
    EXPECT_EQ(UiText(LanguageTitle), "Language");
    state.language = kGerman;
    EXPECT_EQ(UiText(LanguageTitle), "Sprache");
    EXPECT_EQ(UiText(LanguagePromptText), Bytes({'W', 0xE4}) + "hlen Sie Ihre Sprache aus : ");
    EXPECT_EQ(UiText(CancelText), "Abbrechen");
    state.language = kFrench;
    EXPECT_EQ(UiText(LanguageTitle), "Langue");
    EXPECT_EQ(UiText(KilobyteUnit), "Ko");
    EXPECT_TRUE(UiText(kLanguageSlots).empty());
    state.language = 7;  // never set so, but a wrong index must not read past the table
    EXPECT_TRUE(UiText(LanguageTitle).empty());
}

TEST_F(LanguageTest, RetryQuestionGetsTheNameAndOneBlank) {
    EXPECT_EQ(WithFileName(LanguageText(kFrench, RetryQuestion), "X"),
              Bytes({'L', 'a', ' ', 't', 'e', 'n', 't', 'a', 't', 'i', 'v', 'e', ' ', 'd', 'e',
                     ' ', 'r', 0xE9, 'c', 'u', 'p', 0xE9}) +
                  "ration du fichier X a " + Bytes({0xE9}) + "chou" + Bytes({0xE9}) +
                  " ! Voulez-vous r" + Bytes({0xE9}) + "essayer ?");
    EXPECT_EQ(WithFileName(LanguageText(kEnglish, RetryQuestion), "Blur"),
              "Failed to download file Blur ! Do you want to retry?");
    EXPECT_EQ(WithEdition(LanguageText(kEnglish, UpdateConfigQuestion), "Quorvane"),
              "Do you want to update Quorvane configuration in order to use plugins?");
}

TEST_F(LanguageTest, LanguageIdentifiersPickTheFirstListHoldingThem) {
    EXPECT_EQ(LanguageIdDigits(0x0C0C), "0c0c");
    EXPECT_EQ(LanguageIdDigits(0x0407), "0407");
    EXPECT_EQ(LanguageIdDigits(0), "0000");
    EXPECT_EQ(LanguageIdDigits(0xFFFF), "ffff");
    EXPECT_EQ(LanguageForId(0x0409), kEnglish);
    EXPECT_EQ(LanguageForId(0x0c0c), kFrench);
    EXPECT_EQ(LanguageForId(0x0807), kGerman);
    EXPECT_EQ(LanguageForId(0x1809), kEnglish);  // listed twice
    EXPECT_EQ(LanguageForId(0x0c09), kEnglish);  // first entry of its list
    EXPECT_EQ(LanguageForId(0x100c), kFrench);   // last entry of its list
    EXPECT_EQ(LanguageForId(0x0411), -1);
    EXPECT_EQ(LanguageForId(0x0000), -1);
}

TEST_F(LanguageTest, NotesCoverTheInstallationAndEndWithTheLanguageRemark) {
    const std::string defaults[] = {"\"C:\\Program Files\\Quorvane\\\"",
                                    "\"C:\\Program Files\\Quorvane\\\"",
                                    "\"C:\\Programme\\Quorvane\\\""};
    const char* const languageWords[] = {"langue", "language", "Sprache"};
    const char* const descriptionWords[] = {"descriptions", "descriptions", "Beschreibungen"};
    for (int language = 0; language < kLanguageCount; ++language) {
        const std::string& notes = NotesText(language);
        EXPECT_GE(notes.size(), 800u) << language;
        EXPECT_LE(notes.size(), 1300u) << language;
        EXPECT_NE(notes.find(defaults[language]), std::string::npos) << language;
        EXPECT_NE(notes.find("\"Plugins\""), std::string::npos) << language;
        EXPECT_NE(notes.find("support@quorvane.org - http://www.quorvane.org/\r\n"),
                  std::string::npos) << language;
        // One empty line, just before the credit line.
        const auto blank = notes.find("\r\n\r\n");
        ASSERT_NE(blank, std::string::npos) << language;
        EXPECT_EQ(Count(notes, "\r\n\r\n"), 1) << language;
        EXPECT_LT(blank, notes.find("support@")) << language;
        EXPECT_NE(notes.substr(notes.size() - 2), "\r\n") << language;
        // The last line is the remark that the choice touches neither plugins nor descriptions.
        const std::string last = notes.substr(notes.rfind("\r\n") + 2);
        EXPECT_NE(last.find(languageWords[language]), std::string::npos) << language;
        EXPECT_NE(last.find(descriptionWords[language]), std::string::npos) << language;
    }
    EXPECT_NE(NotesText(kEnglish).find("Programming: the Quorvane plugins team - "),
              std::string::npos);
    EXPECT_NE(NotesText(kGerman), NotesText(kEnglish));
    ReleaseNotesText();
    for (int language = 0; language < kLanguageCount; ++language)
        EXPECT_TRUE(NotesText(language).empty()) << language;
    // The table itself outlives the notes.
    EXPECT_EQ(LanguageText(kEnglish, NotesHeading), "Please read these notes:");
}

}  // namespace
}  // namespace qvk
