#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "diagnostics/debug_mode.h"
#include "support/core_test.h"

namespace qvk {
namespace {

using LogTest = test::CoreTest;

TEST_F(LogTest, BannerReplacesAnOldLogAndLinesEndInCrLf) {
    test::WriteWholeFile("qvk.log", "old contents that must go\r\n");
    ActivateDebug();
    ActivateDebug();  // a second switch-on changes nothing
    Log("\r\nX");
    LogLines({"", "Y"});
    const std::string log = LogText();
    Log("after close");
    EXPECT_EQ(log.rfind("Debug mode launched\r\nQVK release 1.5.0.0. Build 15/08/2008, 14:32:29\r\nHost OS: ", 0), 0u);
    EXPECT_EQ(log.find("Debug mode launched", 1), std::string::npos);
    EXPECT_EQ(log.find("old contents"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 10), "\r\nX\r\n\r\nY\r\n");
    EXPECT_EQ(test::ReadWholeFile("qvk.log"), log);
}

TEST_F(LogTest, BuildTimeMask) {
    EXPECT_EQ(FormatBuildTime(0, "%yyyy-%mm-%dd %hh%ii%ss"), "1970-01-01 000000");
    EXPECT_EQ(FormatBuildTime(951782400, "%dd/%mm/%yyyy"), "29/02/2000");  // leap day
    EXPECT_EQ(FormatBuildTime(-1, "%dd/%mm/%yyyy %hh:%ii:%ss"), "31/12/1969 23:59:59");
}

// Lines of several threads stay whole, and writers racing with CloseLog never touch the closed
// file (the sanitizers in the test build catch a use after close).
TEST_F(LogTest, ConcurrentLinesStayWholeAndCloseIsSafe) {
    ActivateDebug();
    std::atomic<int> started{0};
    std::vector<std::thread> writers;
    for (char letter : {'a', 'b', 'c', 'd'})
        writers.emplace_back([letter, &started] {
            ++started;
            for (int i = 0; i < 2000; ++i) Log("thread " + std::string(100, letter));
        });
    while (started < 4) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const std::string log = LogText();
    for (auto& w : writers) w.join();
    std::size_t lines = 0;
    for (std::size_t start = log.find("thread "), end; start != std::string::npos; start = log.find("thread ", end), ++lines) {
        end = log.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "the file ends inside a line";
        EXPECT_EQ(log.substr(start, end - start), "thread " + std::string(100, log[start + 7]));
    }
    EXPECT_GT(lines, 0u);
}

}  // namespace
}  // namespace qvk
