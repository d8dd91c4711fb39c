#include "install/hosts.h"

#include <gtest/gtest.h>

#include "diagnostics/log.h"
#include "driver/state.h"
#include "platform/registry.h"
#include "posix/fake_system.h"
#include "support/event_ui.h"
#include "support/test_support.h"
#include "texts/language.h"

namespace qvk {
namespace {

using platform::kClassesRoot;
using platform::kCurrentUser;
using platform::kLocalMachine;

TEST(HostFolderRule, TakesTheFolderOutOfUninstallAndCommandValues) {
    const struct { const char *value, *strip1, *strip2, *folder; } cases[] = {
        {"\"C:\\Program Files\\Quorvane\\Uninst.exe\"", "Uninst.exe", "\"", "C:\\Program Files\\Quorvane\\"},
        {"C:\\Q\\Uninst.exe", "Uninst.exe", "\"", "C:\\Q\\"},
        {"\"C:\\Program Files\\Quorvane\\Quorvane.exe\" \"%1\"", "%1", "\"", "C:\\Program Files\\Quorvane\\"},
        {"C:/Apps/qv-studio.exe %1", "%1", "\"", "C:/Apps/"},
        // The executable's name also names a folder: every occurrence goes.
        {"\"D:\\Quorvane.exe\\Quorvane.exe\"", "%1", "\"", "D:\\\\"},
        // Empty strip texts remove nothing; a quoted path's file part ends at its quote.
        {"C:\\Program Files\\Quorvane\\", "", "", "C:\\Program Files\\Quorvane\\"},
        {"\"C:\\Q\\Quorvane.exe\" -open", "", "", "\"C:\\Q\\\" -open"},
        {"Quorvane.exe", "", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FolderFromValue(c.value, c.strip1, c.strip2), c.folder) << c.value;
    EXPECT_EQ(ParseRootKey("-2147483648"), kClassesRoot);
    EXPECT_EQ(ParseRootKey("-2147483646"), kLocalMachine);
    for (const char* bad : {"", "-", "2147483648", "-2147483649", "0x80000002", "12a"})
        EXPECT_EQ(ParseRootKey(bad), 0) << bad;
}

class HostsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        FillLanguageTables();
        ActivateDebug();
        FreshPage();
    }
    // The folder page as the wizard opens it, over an empty registry.
    void FreshPage() {
        FillHostKeyTables();
        platform::fake::Reset();
        ui.SetText(reptype, "C:\\Program Files\\Quorvane\\");
        ui.SetText(reptype2, "C:\\Program Files\\Quorvane Studio\\");
        ui.SetState(qvcheck, 0);
        ui.SetState(qvscheck, 0);
    }
    void TearDown() override {
        CloseLog();
        platform::fake::Reset();
    }
    std::string LogText() {
        CloseLog();
        return test::ReadWholeFile("qvk.log").value_or("");
    }
    // The last show or hide of a control; -1 when the code under test never touched it.
    int Shown(int control) {
        const auto events = ui.Events();
        for (auto e = events.rbegin(); e != events.rend(); ++e)
            if (e->rfind("show " + std::to_string(control) + " ", 0) == 0) return e->back() - '0';
        return -1;
    }
    test::ScratchFolder folder;
    test::ScopedUi scoped;
    test::EventUi& ui = scoped.ui;
};

TEST_F(HostsTest, WalkProposesEachEditionFromItsFirstValue) {
    using platform::fake::SetRegistryValue;
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    const struct Case {
        const char* what;
        void (*fill)(const std::string& uninstall);
        const char *qvText, *qvsText;
        int qvTicked, qvsTicked, qvsShown;
    } cases[] = {
        {"neither", [](const std::string&) {}, "C:\\Program Files\\Quorvane\\",
         "C:\\Program Files\\Quorvane Studio\\", 0, 0, 0},
        {"only Studio", [](const std::string&) {
             SetRegistryValue(kCurrentUser, "software\\classes\\applications\\qv-studio.exe\\shell\\open\\command", "",
                              "\"E:\\QVS\\qv-studio.exe\" \"%1\"");
         }, "C:\\Program Files\\Quorvane\\", "E:\\QVS\\", 0, 1, 1},
        {"one folder", [](const std::string& u) {
             SetRegistryValue(kLocalMachine, u + "Quorvane", "UninstallString", "  \"C:\\Both\\Uninst.exe\"  ");
             SetRegistryValue(kLocalMachine, "SOFTWARE\\Quorvane Studio", "", "C:\\Both\\");
         }, "C:\\Both\\", "C:\\Both\\", 1, 0, 0},
        {"two folders", [](const std::string& u) {
             SetRegistryValue(kClassesRoot, "Applications\\Quorvane.exe\\shell\\Open\\Command", "",
                              "\"C:\\Q One\\Quorvane.exe\" \"%1\"");
             SetRegistryValue(kLocalMachine, "SOFTWARE\\Quorvane", "", "C:\\Not read\\");
             SetRegistryValue(kLocalMachine, u + "Quorvane Studio", "UninstallString", "C:\\Q Two\\Uninst.exe");
         }, "C:\\Q One\\", "C:\\Q Two\\", 1, 1, 1},
    };
    for (const Case& c : cases) {
        FreshPage();
        c.fill(uninstall);
        DiscoverHostFolders(quorvaneKeyTable, studioKeyTable);
        EXPECT_EQ(ui.GetText(reptype), c.qvText) << c.what;
        EXPECT_EQ(ui.GetText(reptype2), c.qvsText) << c.what;
        EXPECT_EQ(ui.GetState(qvcheck), c.qvTicked) << c.what;
        EXPECT_EQ(ui.GetState(qvscheck), c.qvsTicked) << c.what;
        EXPECT_EQ(Shown(reptype2), c.qvsShown) << c.what;
        EXPECT_EQ(Shown(BrowseQvsButton), c.qvsShown) << c.what;
        EXPECT_EQ(Shown(reptype), -1) << c.what;
        EXPECT_TRUE(quorvaneKeyTable.empty() && studioKeyTable.empty()) << c.what;
    }
    const std::string log = LogText();  // of the last case
    EXPECT_NE(log.find("\r\nChecking for QV\r\nKey : " + uninstall + "Quorvane\r\nResult : \r\n"
                       "Key : Applications\\Quorvane.exe\\shell\\Open\\Command\r\n"
                       "Result : \"C:\\Q One\\Quorvane.exe\" \"%1\"\r\nQV dir : C:\\Q One\\\r\n"
                       "Checking for QVS\r\nKey : " + uninstall + "Quorvane Studio\r\n"
                       "Result : C:\\Q Two\\Uninst.exe\r\nQVS dir : C:\\Q Two\\\r\nFree useless table\r\n"),
              std::string::npos) << log;
}

TEST_F(HostsTest, RunningEditorsAreNamedExactly) {
    state.language = 0;
    platform::fake::SetRunningProcesses({"quorvane.exe", "QV-STUDIO.EXE", "C:\\Q\\Quorvane.exe"});
    WarnAboutRunningEditors();
    EXPECT_TRUE(ui.Messages().empty());
    platform::fake::SetRunningProcesses({"Quorvane.exe", "qv-studio.exe"});
    ui.Answer({AnswerOk, AnswerOk});
    WarnAboutRunningEditors();
    ASSERT_EQ(ui.Messages().size(), 2u);
    EXPECT_EQ(ui.Messages()[1].text, "L'installateur a d\xE9tect\xE9 que Quorvane Studio est lanc\xE9. "
                                     "Vous devriez le fermer avant de continuer.");
    EXPECT_EQ(ui.Messages()[0].title, "Attention");
    EXPECT_EQ(ui.Messages()[0].style, IconWarning | ButtonsOk);
    EXPECT_NE(LogText().find("\r\nCheck for Quorvane.exe...\r\nCheck for qv-studio.exe...\r\n"
                             "Check for Quorvane.exe...\r\nfound !\r\nCheck for qv-studio.exe...\r\nfound !\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace qvk
