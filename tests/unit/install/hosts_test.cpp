#include "install/hosts.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "posix/fake_system.h"
#include "support/event_ui.h"

namespace qvk {
namespace {

using namespace platform;

TEST(HostFolderRule, RemovesTheStripTextsAndEveryOccurrenceOfTheFilePart) {
    const char* cases[][4] = {
        {"\"C:\\Program Files\\QV\\Uninst.exe\"", "Uninst.exe", "\"", "C:\\Program Files\\QV\\"},
        {"\"C:\\Apps\\Quorvane.exe\" \"%1\"", "%1", "\"", "C:\\Apps\\"},
        {"\"D:\\Quorvane.exe\\Quorvane.exe\"", "%1", "\"", "D:\\\\"},  // a folder named so
        {"C:\\Program Files\\QV\\", "", "", "C:\\Program Files\\QV\\"},
        {"\"C:\\Q\\Quorvane.exe\" -open", "", "", "\"C:\\Q\\\" -open"},  // quoted file part
    };
    for (const auto& c : cases) EXPECT_EQ(FolderFromValue(c[0], c[1], c[2]), c[3]) << c[0];
    EXPECT_EQ(ParseRootKey("2147483650"), 0);  // HKEY_LOCAL_MACHINE unsigned: out of range
}

// The first probe of each edition that yields a value decides; the Studio half shows only for a
// folder of its own.
TEST(HostWalk, ProposesEachEditionFromItsFirstValue) {
    const char *qv = "C:\\Program Files\\Quorvane\\", *qvs = "C:\\Program Files\\Quorvane Studio\\";
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane";
    struct Value { int32_t root; std::string key, name, data; };
    const struct { std::vector<Value> values; const char *qv, *qvs; int qvTick, qvsTick; } cases[] = {
        {{}, qv, qvs, 0, 0},
        {{{kCurrentUser, "software\\classes\\Applications\\qv-studio.exe\\shell\\open\\command", "",
           "\"E:\\S\\qv-studio.exe\" \"%1\""}}, qv, "E:\\S\\", 0, 1},
        {{{kLocalMachine, uninstall, "UninstallString", "  \"C:\\Both\\Uninst.exe\"  "},
          {kLocalMachine, "SOFTWARE\\Quorvane Studio", "", "C:\\Both\\"}}, "C:\\Both\\", "C:\\Both\\", 1, 0},
        {{{kLocalMachine, uninstall, "UninstallString", "   "},
          {kClassesRoot, "Applications\\Quorvane.exe\\shell\\Open\\Command", "", "C:\\One\\Quorvane.exe %1"},
          {kLocalMachine, "SOFTWARE\\Quorvane", "", "C:\\Not read\\"},
          {kLocalMachine, uninstall + " Studio", "UninstallString", "C:\\Two\\Uninst.exe"}}, "C:\\One\\", "C:\\Two\\", 1, 1},
    };
    for (const auto& c : cases) {
        test::ScopedUi scoped;
        scoped.ui.SetText(reptype, qv);
        scoped.ui.SetText(reptype2, qvs);
        fake::Reset();
        for (const Value& v : c.values) fake::SetRegistryValue(v.root, v.key, v.name, v.data);
        FillHostKeyTables();
        DiscoverHostFolders(hostKeyTables);
        EXPECT_EQ(scoped.ui.GetText(reptype) + "|" + scoped.ui.GetText(reptype2), c.qv + std::string("|") + c.qvs);
        EXPECT_EQ(scoped.ui.GetState(qvcheck) + 2 * scoped.ui.GetState(qvscheck), c.qvTick + 2 * c.qvsTick) << c.qv;
        std::vector<std::string> shows, expected = {"show 21 0", "show 30 0"};
        for (const auto& e : scoped.ui.Events()) if (e.rfind("show", 0) == 0) shows.push_back(e);
        if (c.qvsTick) expected.insert(expected.end(), {"show 21 1", "show 30 1"});
        EXPECT_EQ(shows, expected);
        EXPECT_TRUE(hostKeyTables[0].empty() && hostKeyTables[1].empty());
    }
    fake::Reset();
}

}  // namespace
}  // namespace qvk
