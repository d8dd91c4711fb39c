// tools/plugin_server.py as a test fixture: a loopback HTTP server in a child process. Native
// (POSIX) tests only.
//
// Each server listens on port 80 of a loopback address of its own, derived from the test
// process id, so test programs that ctest runs side by side never meet. Needs root for port 80.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef QVK_SOURCE_DIR
#error "QVK_SOURCE_DIR must name the source tree (it holds tools/plugin_server.py)"
#endif
#ifndef QVK_PYTHON
#define QVK_PYTHON "python3"
#endif

#include "support/test_support.h"

extern char** environ;

namespace qvk::test {

// tools/plugin_server.py serving `root` until the object dies (or its lifetime ends).
class PluginServer {
public:
    explicit PluginServer(const std::string& root, const std::string& rulesFile = "",
                          int lifetimeSeconds = 180)
        : log_(root + "/.requests.jsonl") {
        for (int attempt = 0; attempt < 8 && pid_ <= 0; ++attempt) {
            std::string address = CandidateAddress(attempt);
            if (Start(address, root, rulesFile, lifetimeSeconds)) address_ = address;
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
        std::ifstream in(log_);
        std::string line;
        const std::string key = "\"raw_hex\": \"";
        for (int count = 0; count < 100000 && std::getline(in, line); ++count) {
            std::size_t at = line.find(key);
            if (at == std::string::npos) continue;
            at += key.size();
            std::size_t end = line.find('"', at);
            std::string bytes;
            for (std::size_t i = at; i + 1 < end; i += 2)
                bytes.push_back(static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16)));
            requests.push_back(bytes);
        }
        return requests;
    }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    // 127.64.0.0/10 by process id: distinct for processes running at the same time.
    static std::string CandidateAddress(int attempt) {
        unsigned id = static_cast<unsigned>(getpid()) + static_cast<unsigned>(attempt) * 7919u;
        unsigned a = 64 + ((id >> 16) & 63), b = (id >> 8) & 255, c = id & 255;
        if (c == 0 || c == 255) c = 1 + attempt;
        return "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
    }

    bool Start(const std::string& address, const std::string& root, const std::string& rules,
               int lifetime) {
        int out[2];
        if (pipe(out) != 0) return false;
        std::vector<std::string> args = {QVK_PYTHON, std::string(QVK_SOURCE_DIR) + "/tools/plugin_server.py",
                                         "--address", address, "--root", root,
                                         "--request-log", log_, "--lifetime",
                                         std::to_string(lifetime)};
        if (!rules.empty()) {
            args.push_back("--rules");
            args.push_back(rules);
        }
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        pid_t pid = -1;
        int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (rc != 0) {
            close(out[0]);
            return false;
        }

        // Wait for the "ready" line, at most 20 s.
        std::string seen;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool up = false;
        while (!up && std::chrono::steady_clock::now() < deadline) {
            pollfd entry{out[0], POLLIN, 0};
            if (poll(&entry, 1, 100) <= 0) continue;
            char chunk[256];
            ssize_t n = read(out[0], chunk, sizeof chunk);
            if (n <= 0) break;  // the server ended before it was ready
            seen.append(chunk, static_cast<std::size_t>(n));
            up = seen.find("ready\n") != std::string::npos;
        }
        close(out[0]);
        if (up) {
            pid_ = pid;
            return true;
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return false;
    }

    std::string log_;
    std::string address_;
    pid_t pid_ = -1;
};

}  // namespace qvk::test
