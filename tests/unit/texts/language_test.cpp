#include "texts/language.h"

#include <gtest/gtest.h>

#include "core/state.h"
#include "core/text_helpers.h"

namespace qvk {
namespace {

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Every language fills the same slots (2, 3, 5 and 22 are reserved; the fifth welcome line is
// German only), in single CP1252 bytes without control bytes (the window layer hands them to the
// "A" calls as they are), with the same placeholders and the blanks the texts are joined by.
TEST(LanguageTables, EveryLanguageFillsTheSameSlotsAlike) {
    FillLanguageTables();
    for (int language = 0; language < kLanguageCount; ++language) {
        for (int slot = 0; slot < kLanguageSlots; ++slot) {
            const std::string& text = LanguageText(language, slot);
            const bool empty = slot == 2 || slot == 3 || slot == 5 || slot == 22 || (slot == WelcomeLine5 && language != 2);
            EXPECT_EQ(text.empty(), empty) << language << " slot " << slot;
            for (unsigned char c : text) EXPECT_TRUE((c >= 0x20 && c < 0x7F) || c >= 0xC0) << language << " slot " << slot;
            const bool edition = slot == HostRunningWarning || slot == SelectExeTitle || slot == ExeNotFoundQuestion ||
                                 slot == UpdateConfigQuestion;
            EXPECT_EQ(Count(text, "%logiciel%"), edition ? 1 : 0) << language << " slot " << slot;
            EXPECT_EQ(Count(text, "%fichier%"), slot == RetryQuestion ? 1 : 0) << language << " slot " << slot;
        }
        for (int slot : {DownloadingPrefix, DescriptionLabel, AuthorLabel, VersionDateLabel, SizeLabel, InstallingPrefix,
                         UnreadablePrefix, FoundSuffix})
            EXPECT_EQ(LanguageText(language, slot).back(), ' ') << language << " slot " << slot;
        EXPECT_EQ(LanguageText(language, UnavailableSuffix)[0] + LanguageText(language, FoundSuffix)[0], 2 * ' ');
        const std::string& notes = NotesText(language);
        EXPECT_EQ(Count(notes, "\n") + Count(notes, "\r"), 2 * Count(notes, "\r\n")) << language;
        EXPECT_EQ(Count(notes, "\xC3"), 0);
    }
    // Out of range asks give an empty text rather than reading beyond the table.
    EXPECT_EQ(LanguageText(1, -1) + LanguageText(1, kLanguageSlots) + LanguageText(3, 0), "");
    ReleaseNotesText();
    EXPECT_EQ(NotesText(0) + NotesText(1) + NotesText(2), "");
    EXPECT_EQ(LanguageText(1, NotesHeading), "Please read these notes:");  // the table outlives the notes
}

TEST(LanguageTables, UiTextNeverReadsPastTheTable) {
    ResetState();
    FillLanguageTables();
    EXPECT_EQ(UiText(kLanguageSlots), "");
    state.language = 7;  // never set so, but a wrong index must not read past the table
    EXPECT_EQ(UiText(LanguageTitle), "");
    ResetState();
}

TEST(LanguageTables, LanguageIdentifiersPickTheFirstListHoldingThem) {
    FillLanguageTables();
    EXPECT_EQ(LanguageIdDigits(0x0C0C) + LanguageIdDigits(0) + LanguageIdDigits(0xFFFF), "0c0c0000ffff");
    const std::pair<unsigned, int> cases[] = {{0x0409, 1}, {0x0c0c, 0}, {0x0807, 2}, {0x1809, 1} /* listed twice */,
                                              {0x0411, -1}, {0x0000, -1}};
    for (const auto& [id, language] : cases) EXPECT_EQ(LanguageForId(id), language) << id;
}

}  // namespace
}  // namespace qvk
