#include <gtest/gtest.h>

#include "core/state.h"
#include "core/text_helpers.h"
#include "driver/silent.h"
#include "texts/language.h"

namespace qvk {
namespace {

class SilentTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ResetState();
        FillLanguageTables();
        state.language = GetParam();
    }
};

// Every box the run can raise, in the order it raises them, with the answer due; worded in the
// language of the run, since the policy reads the table, not the English text.
TEST_P(SilentTest, EachQuestionAnsweredByItsSlot) {
    const std::string retry = UiText(RetryQuestion);
    const struct {
        std::string text;
        int style, answer;
    } boxes[] = {
        {ReplaceAll(retry, "%fichier%", ""), ButtonsYesNo, AnswerYes},  // the catalogue: once
        {ReplaceAll(retry, "%fichier%", ""), ButtonsYesNo, AnswerNo},
        {WithFileName(retry, "Blur & Glow"), ButtonsYesNo, AnswerYes},  // a plugin: once more
        {WithFileName(retry, "aged Photo"), ButtonsYesNo, AnswerYes},
        {WithFileName(retry, "Blur & Glow"), ButtonsYesNo, AnswerNo},
        {UiText(UnreadablePrefix) + "cafcolours.zip !", ButtonsOk, AnswerOk},
        {WithEdition(UiText(ExeNotFoundQuestion), "Quorvane"), ButtonsYesNo, AnswerNo},
        {WithEdition(UiText(UpdateConfigQuestion), "Quorvane Studio"), ButtonsYesNo, AnswerYes},
        {UiText(AbortQuestion), ButtonsYesNo, AnswerNo},
        {UiText(InstallFinished), ButtonsOk, AnswerOk},
    };
    SilentPolicy policy;
    for (const auto& box : boxes)
        EXPECT_EQ(policy.Answer(box.text, box.style), box.answer) << box.text;
    EXPECT_EQ(policy.record.failedDownloads, std::vector<std::string>{"Blur & Glow"});
    EXPECT_EQ(policy.record.unreadable, std::vector<std::string>{"cafcolours.zip"});
    EXPECT_TRUE(policy.record.finished);
    EXPECT_EQ(SilentPolicy(false).Answer(boxes[7].text, ButtonsYesNo), AnswerNo);
}

INSTANTIATE_TEST_SUITE_P(Languages, SilentTest, ::testing::Values(0, 1, 2));

TEST(SilentOptionsTest, CommandLines) {
    const struct {
        std::vector<std::string> args;
        std::string read;  // language|Quorvane folder|Studio folder|configuration
        std::vector<std::string> plugins;
        std::string errorHead;
    } cases[] = {
        {{"-silent", "-debug", "-url=H|/p"}, "-1|||1", {}, ""},
        {{"-lang=DE", "-plugins= Sharpen Pro ;aged photo;", "-qvdir=C:\\Q", "-qvsdir=D:\\S",
          "-noconfig"}, "2|C:\\Q|D:\\S|0", {"Sharpen Pro", "aged photo"}, ""},
        {{"-lang=it"}, "-1|||1", {}, "Malformed option -lang=it"},
        {{"-plugins=;"}, "-1|||1", {}, "Malformed option -plugins=;"},
        {{"-qvdir= "}, "-1|||1", {}, "Malformed option -qvdir= "},
        {{"-url=H"}, "-1|||1", {}, "Malformed option -url=H"},
        {{"-Silent", "-lang=xx"}, "-1|||1", {}, "Unknown option -Silent"},
    };
    for (const auto& c : cases) {
        const SilentOptions o = ReadSilentOptions(c.args);
        EXPECT_EQ(std::to_string(o.language) + "|" + o.folders[0] + "|" + o.folders[1] + "|" +
                      std::to_string(o.updateConfig), c.read) << c.args[0];
        EXPECT_EQ(o.plugins, c.plugins) << c.args[0];
        EXPECT_EQ(o.error.substr(0, c.errorHead.size()), c.errorHead) << c.args[0];
        EXPECT_EQ(o.error.empty(), c.errorHead.empty()) << c.args[0];
    }
}

TEST(SilentExitTest, CodeFromWhatTheRunShowed) {
    SilentRecord done;
    done.catalogueRead = done.finished = true;
    done.configurations = {{"Q", ConfigUpdate::Rewritten}, {"S", ConfigUpdate::Unchanged}};
    SilentRecord failed = done, unreadable = done, notWritten = done, stopped = done,
                 locked = done;
    failed.failedDownloads = {"aged Photo"};
    unreadable.unreadable = {"cafcolours.zip"};
    notWritten.configurations[1].second = ConfigUpdate::Missing;
    stopped.finished = false;
    locked.incomplete = {"sharpenpro.zip"};
    const std::pair<SilentRecord, int> cases[] = {
        {done, 0}, {failed, 1}, {unreadable, 1}, {notWritten, 1}, {stopped, 1}, {locked, 1},
        {SilentRecord(), 2}};
    for (const auto& c : cases) EXPECT_EQ(SilentExitCode(c.first), c.second);
}

}  // namespace
}  // namespace qvk
