// One loopback server (tools/plugin_server.py), one scratch folder and the client's debug lines
// for a suite of KiteHTTP tests; its SetUpTestSuite calls Start once the server's files are laid.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "kitehttp.h"
#include "platform/files.h"
#include "support/plugin_server.h"

namespace qvk::test {

class KiteSuite : public ::testing::Test {
protected:
    static void Start(const std::vector<std::string>& serverOptions = {}) {
        ASSERT_TRUE(kite::StartNetwork());
        // Transfers on several threads log at once.
        kite::HttpDebug("", [](const std::string& line) {
            std::lock_guard<std::mutex> hold(linesLock);
            lines.push_back(line);
        });
        kite::SetSystemHooks(platform::MoveFileOver, platform::SystemErrorText);
        if (!dir) dir = new ScratchDir;
        server = new PluginServer(dir->path(), *dir / "rules.json", serverOptions);
    }
    static void TearDownTestSuite() { delete server, delete dir, server = nullptr, dir = nullptr; }
    void SetUp() override {
        ASSERT_TRUE(server->ready());
        lines.clear();
    }
    // The exact bytes the client sends this server for a target.
    static std::string Request(const std::string& target) {
        return "GET " + target + " HTTP/1.0\r\nhost: " + server->address() +
               "\r\nConnection: Close\r\nUser-Agent: Mozilla/5.0 (compatible; QVK/1.5.0.0; Windows) \r\n\r\n";
    }
    static std::vector<std::string> TakeLines() { return std::move(lines); }
    static bool Logged(const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    static inline std::vector<std::string> lines;
    static inline std::mutex linesLock;
    static inline ScratchDir* dir = nullptr;
    static inline PluginServer* server = nullptr;
};

}  // namespace qvk::test
