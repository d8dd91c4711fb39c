#include <gtest/gtest.h>

#include <algorithm>

#include "diagnostics/log.h"
#include "driver/shutdown_gate.h"
#include "driver/state.h"
#include "driver/wizard.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "support/event_ui.h"
#include "support/test_support.h"
#include "texts/language.h"

namespace qvk {
namespace {

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        ResetShutdownGateForTests();
        FillLanguageTables();
        SetUi(&ui);
        SetWizardHooks(WizardHooks());
        ActivateDebug();
    }
    void TearDown() override {
        CloseLog();
        SetUi(nullptr);
    }
    std::string LogText() {
        CloseLog();
        return test::ReadWholeFile("qvk.log").value_or("");
    }
    void AddPlugins(std::initializer_list<const char*> names) {
        for (const char* n : names) {
            PluginRecord& record = state.plugins.emplace_back();
            record.name = n;
            record.url = std::string("http://h/") + n;
        }
    }
    // Puts the wizard on the plugin list with the given boxes.
    void OnPluginList(std::initializer_list<int> ticks) {
        state.step = 3;
        state.pluginCount = static_cast<int>(ticks.size());
        int i = 0;
        for (int tick : ticks) {
            ui.SetState(FirstPluginCheckBox + i, tick);
            ui.SetText(FirstPluginCheckBox + i, std::next(state.plugins.begin(), i)->name);
            ++i;
        }
    }
    test::ScratchFolder folder;
    test::EventUi ui;

    bool Freed(int control) { return Has("free " + std::to_string(control)); }
    bool Has(const std::string& event) {
        const auto events = ui.Events();
        return std::find(events.begin(), events.end(), event) != events.end();
    }
};

TEST_F(WizardTest, CheckListNeverOutgrowsTheRealRecords) {
    AddPlugins({"A", "B", "XnViewDll.zip"});
    EXPECT_EQ(CheckListSize(2, state.plugins), 2);
    EXPECT_EQ(CheckListSize(7, state.plugins), 2);  // announced more than the page held
    EXPECT_EQ(CheckListSize(-3, state.plugins), 0);
}

TEST_F(WizardTest, NothingTickedKeepsThePageAndStep) {
    AddPlugins({"A", "B"});
    OnPluginList({0, 0});
    ui.Answer({AnswerOk});
    EXPECT_EQ(OnControl(NextButton), LoopAction::Restart);
    EXPECT_EQ(state.step, 3);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "You must select at least one plugin!");
    EXPECT_EQ(ui.Messages()[0].title, "Error");
    EXPECT_EQ(ui.Messages()[0].style, IconError | ButtonsOk);
    EXPECT_FALSE(Freed(PluginListArea));

    ui.SetState(FirstPluginCheckBox + 1, 1);
    EXPECT_EQ(OnControl(NextButton), LoopAction::Continue);
    EXPECT_EQ(state.step, 4);
    EXPECT_EQ(state.plugins.front().selected, 0);
    EXPECT_EQ(state.plugins.back().selected, 1);
    EXPECT_EQ(ui.GetText(NextButton), "Install >");
    EXPECT_TRUE(Freed(PluginListArea));
    EXPECT_NE(LogText().find("Gadget (101, B) state : 1\r\nChecked\r\n"), std::string::npos);
}

TEST_F(WizardTest, XnViewImportSelectsTheDllArchiveOnlyWhenThePageHadOne) {
    AddPlugins({"Importation XnView", "Other", "XnViewDll.zip"});
    state.xnviewRecord = &state.plugins.back();
    OnPluginList({1, 0});
    ASSERT_EQ(OnControl(NextButton), LoopAction::Continue);
    EXPECT_EQ(state.tickedCount, 1);
    EXPECT_EQ(state.downloadCount, 2);
    EXPECT_EQ(state.plugins.back().selected, 1);

    ResetState();
    AddPlugins({"Importation XnView"});
    OnPluginList({1});
    ASSERT_EQ(OnControl(NextButton), LoopAction::Continue);
    EXPECT_EQ(state.tickedCount, 1);
    EXPECT_EQ(state.downloadCount, 1);
}

class FolderPageTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        state.step = 4;
        state.systemTempDir = folder.path() + "/";
        platform::CreateFolder("QV");
        test::WriteWholeFile("QV/Quorvane.exe", "");
        ui.SetText(reptype, folder.path() + "/QV/");
        ui.SetText(reptype2, folder.path() + "/QVS/");
    }
};

TEST_F(FolderPageTest, RejectionsKeepTheStep) {
    ui.Answer({AnswerOk, AnswerOk, AnswerYes});
    EXPECT_EQ(OnControl(NextButton), LoopAction::Restart);  // no edition ticked
    ui.SetState(qvcheck, 1);
    ui.SetText(reptype, "");
    EXPECT_EQ(OnControl(NextButton), LoopAction::Restart);  // empty folder
    ui.SetText(reptype, folder.path() + "/QVS");
    EXPECT_EQ(OnControl(NextButton), LoopAction::Restart);  // exe missing, retype
    ASSERT_EQ(ui.Messages().size(), 3u);
    EXPECT_EQ(ui.Messages()[0].text, "You must select at least one Quorvane version!");
    EXPECT_EQ(ui.Messages()[1].text, "You did not enter the directory!");
    EXPECT_EQ(ui.Messages()[2].text,
              "Quorvane hasn't been found in the specified directory. Do you want to retype the directory?");
    EXPECT_EQ(ui.Messages()[2].style, IconWarning | ButtonsYesNo);
    EXPECT_EQ(state.step, 4);
    EXPECT_TRUE(state.qvDir.empty());
    EXPECT_TRUE(state.workDir.empty());
}

TEST_F(FolderPageTest, SameFolderTwiceInstallsOnceAndCreatesTheWorkFolder) {
    ui.SetState(qvcheck, 1);
    ui.SetState(qvscheck, 1);
    // A backslash is appended (natively it is part of the name, so the program lies there).
    test::WriteWholeFile(folder.path() + "/QV\\Quorvane.exe", "");
    ui.SetText(reptype, folder.path() + "/QV");
    ui.SetText(reptype2, folder.path() + "/QV\\");
    ui.Answer({AnswerNo});  // accept the folder without qv-studio.exe
    EXPECT_EQ(OnControl(NextButton), LoopAction::Continue);
    EXPECT_EQ(state.step, 5);
    EXPECT_EQ(state.qvDir, folder.path() + "/QV\\");
    EXPECT_EQ(state.qvsDir, "");
    EXPECT_TRUE(platform::FolderExists(folder.path() + "/qvk"));
    EXPECT_EQ(state.downloadStarted, 1);
    // The download worker runs (nothing is marked here); the loop waits on it until it ends.
    for (int i = 0; i < 500 && WatchedWorker(); ++i) platform::SleepMs(10);
    EXPECT_TRUE(state.downloadThread && !platform::ThreadRunning(state.downloadThread));
    EXPECT_EQ(ui.GetText(NextButton), "Next >");
    EXPECT_TRUE(Has("enable 10 0"));
    EXPECT_TRUE(Freed(reptype) && Freed(BrowseQvsButton));
    const std::string log = LogText();
    EXPECT_NE(log.find("QV and QVS paths are the same\r\n"), std::string::npos);
    EXPECT_NE(log.find("Temp dir doesn't exist\r\nCreated\r\n"), std::string::npos);
    EXPECT_NE(log.find("Downloading plugins\r\nEnd of downloading plugins\r\n"), std::string::npos);
}

TEST_F(FolderPageTest, DownloadWorkerThatCannotStartEndsTheProgram) {
    WizardHooks failing;
    failing.startThread = [](platform::ThreadBody, void*) -> platform::ThreadHandle {
        return nullptr;
    };
    SetWizardHooks(failing);
    ui.SetState(qvcheck, 1);
    ui.Answer({AnswerNo, AnswerOk});  // accept the folder; then the failure
    EXPECT_EXIT(OnControl(NextButton), ::testing::ExitedWithCode(0),
                "\\[message\\] Unable to start the installation\\.");
    EXPECT_NE(LogText().find("Unable to start the download thread\r\nDownload not started"),
              std::string::npos);
}

TEST_F(WizardTest, AbortQuestionNoStaysYesEnds) {
    state.language = 0;
    ui.Answer({AnswerNo});
    EXPECT_EQ(OnControl(CancelButton), LoopAction::Restart);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "Voulez-vous annuler l'installation des plugins Quorvane ?");
    EXPECT_EQ(ui.Messages()[0].title, "Attention");
    ui.Answer({AnswerYes});
    EXPECT_EXIT(OnCloseRequest(), ::testing::ExitedWithCode(0), "");
    const std::string log = LogText();
    EXPECT_NE(log.find("Cancel button...\r\nExit... (Window)\r\nNo\r\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 40), "Yes, delete temp dir and free memories\r\n");
}

// Without a download body the install thread follows at once, and the end asks once per
// edition (Yes on a file the update cannot read: left alone and logged).
TEST_F(WizardTest, FinishAsksPerEditionAndEnds) {
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
    EXPECT_NE(log.find("Plugins to install : 0\r\n"), std::string::npos);
    EXPECT_NE(log.find(": " + state.qvDir + "Quorvane.ini\r\nWell done"), std::string::npos);
    EXPECT_NE(log.find("Install dir (QV) : " + state.qvDir + "\r\n"), std::string::npos);
    EXPECT_NE(log.find("please send qvk.log to support@quorvane.org\r\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 24), "It's finished... Bye !\r\n");
}

}  // namespace
}  // namespace qvk
