#include <gtest/gtest.h>

#include "diagnostics/debug_mode.h"
#include "driver/wizard.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "support/core_test.h"

namespace qvk {
namespace {

class WizardTest : public test::CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        SetWizardHooks(WizardHooks());
        ActivateDebug();
    }
    // Puts the wizard on the plugin list, one box per name.
    void OnPluginList(std::initializer_list<const char*> names, std::initializer_list<int> ticks) {
        for (const char* n : names) state.plugins.emplace_back().name = n;
        state.step = 3;
        state.pluginCount = static_cast<int>(ticks.size());
        auto record = state.plugins.begin();
        for (int i = 0; i < state.pluginCount; ++i, ++record) {
            ui.SetState(FirstPluginCheckBox + i, ticks.begin()[i]);
            ui.SetText(FirstPluginCheckBox + i, record->name);
        }
    }
    // Puts the wizard on the folder page, with Quorvane.exe in folder/QV.
    void OnFolderPage() {
        state.step = 4;
        state.systemTempDir = folder.path() + "/";
        platform::CreateFolder("QV");
        test::WriteWholeFile("QV/Quorvane.exe", "");
        ui.SetText(reptype, folder.path() + "/QV/");
        ui.SetText(reptype2, folder.path() + "/QVS/");
    }
    const test::ScratchDir& folder = cwd;
};

TEST_F(WizardTest, PluginListNeedsATickAndNeverOutgrowsTheRecords) {
    OnPluginList({"A", "B", "XnViewDll.zip"}, {0, 0});
    EXPECT_EQ(CheckListSize(7, state.plugins), 2);  // announced more than the page held
    EXPECT_EQ(CheckListSize(-3, state.plugins), 0);
    ui.Answer({AnswerOk});
    EXPECT_EQ(OnControl(NextButton), LoopAction::Restart);
    EXPECT_EQ(state.step, 3);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text + "|" + ui.Messages()[0].title, "You must select at least one plugin!|Error");
    EXPECT_FALSE(ui.Has("free 17 "));
    ui.SetState(FirstPluginCheckBox + 1, 1);
    EXPECT_EQ(OnControl(NextButton), LoopAction::Continue);
    EXPECT_EQ(state.step, 4);
    EXPECT_EQ(state.plugins.front().selected + 2 * std::next(state.plugins.begin())->selected, 2);
    EXPECT_EQ(ui.GetText(NextButton), "Install >");
    EXPECT_TRUE(ui.Has("free 17 "));
}

TEST_F(WizardTest, XnViewImportSelectsTheDllArchiveOnlyWhenThePageHadOne) {
    for (bool dll : {true, false}) {
        ResetState();
        OnPluginList({"Importation XnView", "Other", "XnViewDll.zip"}, {1, 0});
        if (dll) state.xnviewRecord = &state.plugins.back();
        ASSERT_EQ(OnControl(NextButton), LoopAction::Continue);
        EXPECT_EQ(state.tickedCount, 1);
        EXPECT_EQ(state.downloadCount, dll ? 2 : 1);
        EXPECT_EQ(state.plugins.back().selected, dll);
    }
}

// The folder page's rejections and a No to the abort question keep the step; then, without a
// download body, the install thread follows at once and the end asks once per edition (Yes on a
// file the update cannot read: left alone and logged).
TEST_F(WizardTest, RejectionsAndAbortNoKeepTheStepThenTheFinishEnds) {
    OnFolderPage();
    ui.Answer({AnswerOk, AnswerOk, AnswerYes, AnswerNo});
    EXPECT_EQ(OnControl(NextButton), LoopAction::Restart);  // no edition ticked
    ui.SetState(qvcheck, 1);
    ui.SetText(reptype, "");
    EXPECT_EQ(OnControl(NextButton), LoopAction::Restart);  // empty folder
    ui.SetText(reptype, folder.path() + "/QVS");
    EXPECT_EQ(OnControl(NextButton), LoopAction::Restart);  // exe missing, retype
    state.language = 0;
    EXPECT_EQ(OnControl(CancelButton), LoopAction::Restart);
    const auto m = ui.Messages();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].text + "|" + m[1].text + "|" + m[2].text + "|" + m[3].text + "|" + m[3].title,
              "You must select at least one Quorvane version!|You did not enter the directory!|"
              "Quorvane hasn't been found in the specified directory. Do you want to retype the directory?|"
              "Voulez-vous annuler l'installation des plugins Quorvane ?|Attention");
    EXPECT_EQ(m[2].style, IconWarning | ButtonsYesNo);
    EXPECT_EQ(state.step, 4);
    EXPECT_TRUE(state.qvDir.empty() && state.workDir.empty());
    state.language = 1;
    state.downloadStarted = 1;
    state.qvDir = folder.path() + "/";
    state.qvsDir = folder.path() + "/QVS/";
    test::WriteWholeFile("Quorvane.ini", std::string("\xFF\xFE;\0", 4));
    ui.Answer({AnswerYes, AnswerNo, AnswerOk});
    EXPECT_EXIT(
        for (int pass = 0; pass < 5000; ++pass) {
            PollWorkers();
            platform::SleepMs(1);
        },
        ::testing::ExitedWithCode(0), "");
    const std::string log = LogText();
    for (const std::string& part : {": " + state.qvDir + "Quorvane.ini\r\nWell done",
                                    std::string("please send qvk.log to support@quorvane.org\r\n")})
        EXPECT_NE(log.find(part), std::string::npos) << part;
    EXPECT_EQ(log.substr(log.size() - 24), "It's finished... Bye !\r\n");
}

TEST_F(WizardTest, SameFolderTwiceInstallsOnceAndStartsTheDownload) {
    OnFolderPage();
    ui.SetState(qvcheck, 1);
    ui.SetState(qvscheck, 1);
    // A backslash is appended (natively it is part of the name, so the program lies there).
    test::WriteWholeFile(folder.path() + "/QV\\Quorvane.exe", "");
    ui.SetText(reptype, folder.path() + "/QV");
    ui.SetText(reptype2, folder.path() + "/QV\\");
    ui.Answer({AnswerNo});  // accept the folder without qv-studio.exe
    EXPECT_EQ(OnControl(NextButton), LoopAction::Continue);
    EXPECT_EQ(state.step, 5);
    EXPECT_EQ(state.qvDir + "|" + state.qvsDir, folder.path() + "/QV\\|");
    EXPECT_TRUE(platform::FolderExists(folder.path() + "/qvk"));
    // The download worker runs (nothing is marked here); the loop waits on it until it ends.
    for (int i = 0; i < 500 && WatchedWorker(); ++i) platform::SleepMs(10);
    EXPECT_TRUE(state.downloadThread && !platform::ThreadRunning(state.downloadThread));
    EXPECT_EQ(ui.GetText(NextButton), "Next >");
    EXPECT_TRUE(ui.Has("enable 10 0") && ui.Has("free 18 ") && ui.Has("free 30 "));
}

TEST_F(WizardTest, AWorkerThatCannotStartEndsTheProgramWithAMessage) {
    WizardHooks failing;
    failing.startThread = [](platform::ThreadBody, void*) -> platform::ThreadHandle {
        errno = EAGAIN;  // as the system leaves it when it has no thread to give
        return nullptr;
    };
    SetWizardHooks(failing);
    state.step = 1;  // notes to catalogue: the catalogue worker
    ui.Answer({AnswerOk});
    EXPECT_EXIT(OnControl(NextButton), ::testing::ExitedWithCode(0), "\\[message\\] Unable to start the installation\\.");
    OnFolderPage();
    ui.SetState(qvcheck, 1);
    ui.Answer({AnswerNo, AnswerOk});  // accept the folder; then the failure
    EXPECT_EXIT(OnControl(NextButton), ::testing::ExitedWithCode(0), "\\[message\\] Unable to start the installation\\.");
    for (const auto& [name, last] : {std::pair{"catalogue", "Catalogue"}, std::pair{"download", "Download"}})
        EXPECT_NE(LogText().find(std::string("Unable to start the ") + name + " thread" + test::SystemReason(EAGAIN) +
                                 "\r\n" + last + " not started"),
                  std::string::npos) << name;
}

}  // namespace
}  // namespace qvk
