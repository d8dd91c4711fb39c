// Shared pieces of the core tests: a scratch working folder and a recording window.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "plugin_record.h"
#include "ui.h"

namespace qvk::test {

// Runs the test inside a fresh temporary folder, because the program writes "qvk.log" and its
// catalogue files into the current folder.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/qvk-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
        char here[4096];
        previous_ = ::getcwd(here, sizeof(here));
        if (::chdir(path_.c_str()) != 0) std::abort();
    }
    ~ScratchFolder() {
        if (::chdir(previous_.c_str()) != 0) std::abort();
        std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_, previous_;
};

inline PluginRecord Record(const std::string& name, const std::string& url = "") {
    PluginRecord record;
    record.name = name;
    record.url = url;
    return record;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Stands in for the wizard window, which only exists under Windows: it keeps texts, states and
// visibility per control and answers message boxes from a script.
class RecordingUi : public Ui {
public:
    struct Box {
        std::string text, title;
        int style;
    };
    std::vector<Box> messages;
    std::vector<int> answers;  // consumed in order; AnswerNo once exhausted
    std::map<int, std::string> texts;
    std::map<int, int> states, progress, maxima;
    std::map<int, bool> visible, enabled, freed;
    std::map<int, std::vector<std::string>> lines;

    int Message(const std::string& text, const std::string& title, int style) override {
        messages.push_back({text, title, style});
        if (answers.empty()) return AnswerNo;
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    void SetText(int c, const std::string& t) override { texts[c] = t; }
    std::string GetText(int c) override { return texts[c]; }
    void SetProgress(int c, int v) override { progress[c] = v; }
    void SetProgressMax(int c, int m) override { maxima[c] = m; }
    void Enable(int c, bool e) override { enabled[c] = e; }
    void AddLine(int c, const std::string& l) override { lines[c].push_back(l); }
    void Show(int c, bool v) override { visible[c] = v; }
    void Free(int c) override { freed[c] = true; }
    int GetState(int c) override { return states[c]; }
    void SetState(int c, int s) override { states[c] = s; }
    void Move(int, int, int, int, int) override {}
};

}  // namespace qvk::test
