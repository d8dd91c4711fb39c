// tools/plugin_server.py as a test fixture: a loopback HTTP server in a child process, on port 80
// of a loopback address derived from the test process id, so that test programs run side by side
// never meet (needs root for port 80). Native tests only.
#pragma once
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

#ifndef QVK_SOURCE_DIR
#error "QVK_SOURCE_DIR must name the source tree (it holds tools/plugin_server.py)"
#endif

extern char** environ;

namespace qvk::test {

class PluginServer {
public:
    // Serves `root` (with the rules of rulesFile, if any, and the server's further options
    // `extra`) until the object dies or 180 s pass.
    explicit PluginServer(const std::string& root, const std::string& rulesFile = "",
                          const std::vector<std::string>& extra = {})
        : log_(root + "/.requests.jsonl"), extra_(extra) {
        for (unsigned attempt = 0; attempt < 8 && pid_ <= 0; ++attempt) {
            const unsigned id = static_cast<unsigned>(getpid()) + attempt * 7919u;
            address_ = "127." + std::to_string(64 + ((id >> 16) & 63)) + "." +
                       std::to_string((id >> 8) & 255) + "." + std::to_string(std::clamp(id & 255, 1u, 254u));
            Start(root, rulesFile);
        }
    }
    ~PluginServer() { Stop(); }
    PluginServer(const PluginServer&) = delete;
    PluginServer& operator=(const PluginServer&) = delete;

    bool ready() const { return pid_ > 0; }
    const std::string& address() const { return address_; }
    std::string Url(const std::string& target) const { return "http://" + address_ + target; }

    // The exact bytes of every request received so far, in order.
    std::vector<std::string> Requests() const {
        std::vector<std::string> requests;
        std::istringstream in(ReadWholeFile(log_).value_or(""));
        const std::string key = "\"raw_hex\": \"";
        for (std::string line; std::getline(in, line);) {
            std::size_t at = line.find(key), end = line.find('"', at + key.size());
            if (at == std::string::npos) continue;
            std::string bytes;
            for (at += key.size(); at + 1 < end; at += 2)
                bytes.push_back(static_cast<char>(std::stoi(line.substr(at, 2), nullptr, 16)));
            requests.push_back(bytes);
        }
        return requests;
    }

    // Whether the TLS session of each request so far was resumed, in order.
    std::vector<bool> Resumed() const {
        std::vector<bool> resumed;
        std::istringstream in(ReadWholeFile(log_).value_or(""));
        for (std::string line; std::getline(in, line);)
            resumed.push_back(line.find("\"resumed\": true") != std::string::npos);
        return resumed;
    }

    // The target of each request so far; one that named another host gives the rest of its bytes.
    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const std::string& raw : Requests())
            targets.push_back(raw.substr(4, raw.find(" HTTP/1.0\r\nhost: " + address_ + "\r\n") - 4));
        return targets;
    }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        bool gone = false;
        for (int i = 0; i < 100 && !(gone = waitpid(pid_, nullptr, WNOHANG) == pid_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!gone) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    void Start(const std::string& root, const std::string& rules) {
        int out[2];
        if (pipe(out) != 0) return;
        std::vector<std::string> args = {QVK_PYTHON, std::string(QVK_SOURCE_DIR) + "/tools/plugin_server.py",
                                         "--address", address_, "--root", root, "--request-log",
                                         log_, "--lifetime", "180"};
        if (!rules.empty()) args.insert(args.end(), {"--rules", rules});
        args.insert(args.end(), extra_.begin(), extra_.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        pid_t pid = -1;
        const bool spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // The server says "ready" once it listens; at most 20 s.
        std::string seen;
        for (int i = 0; spawned && i < 200 && seen.find("ready\n") == std::string::npos; ++i) {
            pollfd entry{out[0], POLLIN, 0};
            char chunk[256];
            const ssize_t n = poll(&entry, 1, 100) > 0 ? read(out[0], chunk, sizeof chunk) : 0;
            if (n < 0 || (n == 0 && entry.revents)) break;  // it ended before it was ready
            seen.append(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
        }
        close(out[0]);
        if (seen.find("ready\n") != std::string::npos) {
            pid_ = pid;
        } else if (spawned) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    std::string log_, address_;
    std::vector<std::string> extra_;
    pid_t pid_ = -1;
};

// A server for `root` with the given rules (written to root/rules.json); a root may serve again.
inline std::unique_ptr<PluginServer> Serve(const ScratchDir& root, const std::string& rules = "{}") {
    WriteWholeFile(root / "rules.json", rules);
    std::remove((root / ".requests.jsonl").c_str());
    auto server = std::make_unique<PluginServer>(root.path(), root / "rules.json");
    EXPECT_TRUE(server->ready());
    return server;
}

}  // namespace qvk::test
