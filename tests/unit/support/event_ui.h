// A Ui that keeps the history of what the code under test showed, in order and from any thread,
// for tests of workers that write to the wizard window. Message boxes are answered from a
// script; each message is also written to stderr, so a death test can match the text of the box
// shown just before the program ended.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "window/ui.h"

namespace qvk::test {

class EventUi : public Ui {
public:
    struct MessageCall {
        std::string text, title;
        int style;
    };

    // Answers for the next message boxes, in order; a box beyond them aborts the test program.
    void Answer(std::vector<int> answers) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.assign(answers.begin(), answers.end());
    }

    // Runs when a box shows, before it is answered: a test changes the world the user sees.
    std::function<void()> onMessage;

    int Message(const std::string& text, const std::string& title, int style) override {
        std::fprintf(stderr, "[message] %s\n", text.c_str());
        if (onMessage) onMessage();
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back({text, title, style});
        events_.push_back("message");
        // A box nobody planned for: answering it could end the process with exit code 0 and
        // pass for success, so the test program dies loudly instead.
        if (answers_.empty()) {
            std::fprintf(stderr, "unexpected message box: %s\n", text.c_str());
            std::abort();
        }
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    void SetText(int control, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_[control].push_back(text);
        events_.push_back("text " + std::to_string(control) + " " + text);
    }
    std::string GetText(int control) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = texts_.find(control);
        return it == texts_.end() || it->second.empty() ? std::string() : it->second.back();
    }
    void SetProgress(int control, int value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        progress_[control].push_back(value);
        events_.push_back("progress " + std::to_string(control) + " " + std::to_string(value));
    }
    void SetProgressMax(int control, int maximum) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("max " + std::to_string(control) + " " + std::to_string(maximum));
    }
    void Enable(int control, bool enabled) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("enable " + std::to_string(control) + (enabled ? " 1" : " 0"));
    }
    void AddLine(int control, const std::string& line) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_[control].push_back(line);
        events_.push_back("line " + std::to_string(control) + " " + line);
    }
    void Show(int control, bool visible) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("show " + std::to_string(control) + (visible ? " 1" : " 0"));
    }
    void Free(int control) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("free " + std::to_string(control));
    }
    void Move(int control, int, int, int, int) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back("move " + std::to_string(control));
    }
    int GetState(int control) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return states_[control];
    }
    void SetState(int control, int value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        states_[control] = value;
    }

    std::vector<MessageCall> Messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> Texts(int control) {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_[control];
    }
    std::vector<int> Progress(int control) {
        std::lock_guard<std::mutex> lock(mutex_);
        return progress_[control];
    }
    std::vector<std::string> Lines(int control) {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_[control];
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    std::mutex mutex_;
    std::deque<int> answers_;
    std::vector<MessageCall> messages_;
    std::map<int, std::vector<std::string>> texts_;
    std::map<int, std::vector<int>> progress_;
    std::map<int, std::vector<std::string>> lines_;
    std::map<int, int> states_;
    std::vector<std::string> events_;
};

// Installs an EventUi for the lifetime of a test.
class ScopedUi {
public:
    ScopedUi() { SetUi(&ui); }
    ~ScopedUi() { SetUi(nullptr); }
    EventUi ui;
};

}  // namespace qvk::test
