#include <gtest/gtest.h>

#include "driver/language_choice.h"
#include "driver/start_up.h"
#include "install/hosts.h"
#include "platform/files.h"
#include "posix/fake_system.h"
#include "support/core_test.h"

namespace qvk {
namespace {

namespace fake = platform::fake;

class StartUpTest : public test::CoreTest {
protected:
    void TearDown() override {
        fake::Reset();
        CoreTest::TearDown();
    }
    struct LoopReached {};
    std::vector<std::string> order;
    // Steps that note what the start-up had done by the time each ran.
    StartUpSteps RecordingSteps() {
        StartUpSteps steps;
        steps.installCrashHook = [this] {
            order.push_back("crash hook, tables " +
                            std::to_string(!UiText(AbortQuestion).empty() && hostKeyTables[1].size() == 5));
        };
        steps.optionsRead = [this] { order.push_back("options, debug " + std::to_string(state.debugMode)); };
        steps.chooseLanguage = [this] {
            order.push_back("language after " + std::to_string(ui.Messages().size()) + " box");
            state.language = 0;
        };
        steps.buildWindow = [this] {
            order.push_back("window after " + std::to_string(ui.Messages().size()) + " boxes");
            return true;
        };
        steps.runMainLoop = [this] {
            order.push_back("loop at step " + std::to_string(state.step) + ", job " +
                            std::to_string(downloadJob.count + installJob.count));
            throw LoopReached{};
        };
        return steps;
    }
};

TEST_F(StartUpTest, StepsRunInTheirFixedOrderForEveryMode) {
    // An unknown OS (the fake's unread version record) and a running Studio, leftovers of an
    // earlier run in the state: each must be seen at its own step.
    fake::SetRunningProcesses({"qv-studio.exe"});
    state.step = 3;
    downloadJob.count = 7;
    ui.Answer({AnswerOk, AnswerOk});
    EXPECT_THROW(StartUp({"-debug"}, RecordingSteps()), LoopReached);
    EXPECT_EQ(order, (std::vector<std::string>{"crash hook, tables 1", "options, debug 1",
                                               "language after 1 box", "window after 2 boxes",
                                               "loop at step 0, job 0"}));
    const auto boxes = ui.Messages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title + "|" + boxes[0].text.substr(0, 22), "Warning|You're using an OS not");
    EXPECT_EQ(boxes[1].title, "Attention");  // the running editor is told in the language chosen
    EXPECT_NE(boxes[1].text.find("Quorvane Studio"), std::string::npos);
    const std::string log = LogText();
    const size_t debug = log.find("Debug mode launched"), temp = log.find("Temp directory : ");
    EXPECT_TRUE(debug != std::string::npos && temp != std::string::npos && debug < temp) << log;
}

TEST_F(StartUpTest, NoWindowEndsTheProgramBeforeTheLoop) {
    StartUpSteps steps = RecordingSteps();
    steps.buildWindow = [] { return false; };
    ui.Answer({AnswerOk});
    EXPECT_EXIT(StartUp({"-debug"}, steps), ::testing::ExitedWithCode(0), "");
    EXPECT_NE(LogText().find("Unable to create the wizard window"), std::string::npos);
}

TEST_F(StartUpTest, HelpBeforeEverythingElseThenExitCodeZero) {
    ui.Answer({AnswerOk});
    EXPECT_EXIT(StartUp({"-debug", "/?"}, RecordingSteps()), ::testing::ExitedWithCode(0),
                "\\[message\\] QVK 1\\.5\\.0\\.0, the Quorvane Plugins Pack installer");
    EXPECT_FALSE(platform::FileExists("qvk.log"));  // the options were never read
}

TEST_F(StartUpTest, LanguageChoicePreselectsAsksBeforeAbortingAndTakesTheChoice) {
    fake::SetUserLanguageId(0x0411);  // Japanese: nothing preselected, the English default stays
    EXPECT_FALSE(BeginLanguageChoice());
    EXPECT_EQ(state.language, 1);
    fake::SetUserLanguageId(0x0c0c);  // French (Canada)
    EXPECT_TRUE(BeginLanguageChoice());
    EXPECT_EQ(state.language, 0);

    EXPECT_EQ(OnLanguageEvent(LanguageList, -1), LanguageReply::Wait);
    EXPECT_EQ(OnLanguageEvent(LanguageList, kLanguageCount), LanguageReply::Wait);
    EXPECT_EQ(state.language, 0);
    EXPECT_EQ(OnLanguageEvent(LanguageList, 2), LanguageReply::Relabel);
    EXPECT_EQ(state.language, 2);
    ui.Answer({AnswerNo, AnswerNo});
    EXPECT_EQ(OnLanguageEvent(LanguageCancelButton, -1), LanguageReply::Wait);
    EXPECT_EQ(OnLanguageEvent(LanguageCloseRequest, -1), LanguageReply::Wait);
    ASSERT_EQ(ui.Messages().size(), 2u);
    EXPECT_EQ(ui.Messages()[1].text, UiText(AbortQuestion));  // asked in the language chosen
    ui.Answer({AnswerYes});
    EXPECT_EXIT(OnLanguageEvent(LanguageCloseRequest, -1), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(OnLanguageEvent(LanguageOkButton, -1), LanguageReply::Chosen);
    EndLanguageChoice();
}

}  // namespace
}  // namespace qvk
