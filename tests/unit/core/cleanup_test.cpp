#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "core/cleanup.h"
#include "diagnostics/debug_mode.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "support/core_test.h"

namespace qvk {
namespace {

using CleanupTest = test::CoreTest;

TEST_F(CleanupTest, WorkFolderGoesWithReadOnlyFilesUnlessItHoldsAFolder) {
    for (const char* work : {"plain", "nested"}) {
        ASSERT_TRUE(platform::CreateFolder(work));
        for (const char* file : {"/a.zip", "/.hidden.zip", "/readonly.zip"}) test::WriteWholeFile(work + std::string(file), "x");
        ::chmod((work + std::string("/readonly.zip")).c_str(), 0444);
    }
    ASSERT_TRUE(platform::CreateFolder("nested/sub"));
    test::WriteWholeFile("nested/sub/inner.txt", "kept");
    for (const char* work : {"plain", "nested", "missing"}) RemoveWorkFolder(work);
    EXPECT_FALSE(platform::FileExists("plain"));
    EXPECT_EQ(test::ReadWholeFile("nested/sub/inner.txt").value_or(""), "kept");  // silently kept
    EXPECT_FALSE(platform::FileExists("nested/a.zip"));
}

TEST_F(CleanupTest, OrderlyEndRemovesEverythingButTheLogAndHasTheLastLine) {
    EXPECT_EXIT(
        {
            ActivateDebug();
            state.workDir = cwd.path() + "/qvk";
            platform::CreateFolder(state.workDir);
            test::WriteWholeFile(state.workDir + "/x.zip", "x");
            test::WriteWholeFile("qvk-plugins.txt.part", "partial");
            // A worker inside its section when the end begins talks once the end has said its
            // last line (the end then waits for the section): that line must not get in after it.
            std::atomic<bool> inside{false};
            std::thread([&inside] {
                WorkSection section;
                inside = true;
                for (int i = 0; i < 3000 && !ShutdownRequested().load(); ++i) platform::SleepMs(1);
                Log("KiteHTTP: - IDLE -");
            }).detach();
            while (!inside) std::this_thread::yield();
            CleanUpAndExit("It's finished... Bye !");
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(platform::FileExists("qvk") || platform::FileExists("qvk-plugins.txt.part"));
    const std::string log = test::ReadWholeFile("qvk.log").value_or("");
    EXPECT_EQ(log.substr(log.size() - 24), "It's finished... Bye !\r\n");
    // Without a work folder none is touched; the bare end ends with 0 too.
    platform::CreateFolder("qvk");
    test::WriteWholeFile("qvk/keep.zip", "k");
    EXPECT_EXIT(CleanUpAndExit(""), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(platform::FileExists("qvk/keep.zip"));
    EXPECT_EXIT(BareExit(), ::testing::ExitedWithCode(0), "");
}

// A worker still walking the plugin list when the end begins never sees the list emptied under
// it: the end waits for its section, and a worker arriving later parks. A worker that ends the
// program inside its own section does not wait for itself.
TEST_F(CleanupTest, WorkersNeverSeeTheListEmptiedUnderThem) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 200; ++i) state.plugins.emplace_back().name = "P" + std::to_string(i);
            std::atomic<bool> go{false};
            std::thread([&go] {
                go = true;
                for (;;) {
                    WorkSection section;
                    size_t names = 0;
                    for (const PluginRecord& r : state.plugins) names += r.name.size();
                    if (names == 0 && !state.plugins.empty()) std::abort();
                }
            }).detach();
            while (!go) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            CleanUpAndExit("Yes, delete temp dir and free memories");
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            WorkSection section;
            CleanUpAndExit("No");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(CleanupTest, GateReportsAWorkerThatDoesNotLeave) {
    std::atomic<bool> inside{false}, release{false};
    std::thread worker([&] {
        WorkSection section;
        inside = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!inside) std::this_thread::yield();
    EXPECT_FALSE(CloseShutdownGate(50));
    EXPECT_TRUE(ShutdownRequested().load());
    release = true;
    worker.join();
    EXPECT_TRUE(CloseShutdownGate(1000));
}

}  // namespace
}  // namespace qvk
