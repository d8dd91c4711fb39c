// A Ui that keeps, in order and from any thread, what the code under test did to the wizard
// window: "kind control value" events. Message boxes are answered from a script; each one is
// also written to stderr, so that a death test can match the box shown just before the end.
#pragma once
#include <algorithm>
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
        MessageTopic topic;
    };
    void Answer(std::vector<int> answers) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.assign(answers.begin(), answers.end());
    }
    // Runs when a box shows, before it is answered: a test changes the world the user sees.
    std::function<void()> onMessage;
    // When set, answers every box instead of the list: boxes of workers running side by side
    // come in no fixed order.
    std::function<int(const MessageCall&)> answerer;

    int Message(const std::string& text, const std::string& title, int style,
                const MessageTopic& topic) override {
        std::fprintf(stderr, "[message] %s\n", text.c_str());
        if (onMessage) onMessage();
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back({text, title, style, topic});
        if (answerer) return answerer(messages_.back());
        // A box nobody planned for: answering it could end the process with exit code 0 and
        // pass for success, so the test program dies loudly instead.
        if (answers_.empty()) std::abort();
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    void SetText(int c, const std::string& text) override { Add("text", c, text); }
    std::string GetText(int c) override {
        const std::vector<std::string> texts = Values("text", c);
        return texts.empty() ? std::string() : texts.back();
    }
    void SetProgress(int c, int value) override { Add("progress", c, std::to_string(value)); }
    void SetProgressMax(int c, int maximum) override { Add("max", c, std::to_string(maximum)); }
    void Enable(int c, bool enabled) override { Add("enable", c, enabled ? "1" : "0"); }
    void AddLine(int c, const std::string& line) override { Add("line", c, line); }
    void Show(int c, bool visible) override { Add("show", c, visible ? "1" : "0"); }
    void Free(int c) override { Add("free", c, ""); }
    void Move(int c, int, int, int, int) override { Add("move", c, ""); }
    int GetState(int c) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return states_[c];
    }
    void SetState(int c, int value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        states_[c] = value;
    }

    std::vector<MessageCall> Messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    bool Has(const std::string& event) {
        const std::vector<std::string> all = Events();
        return std::find(all.begin(), all.end(), event) != all.end();
    }
    // The values of one kind of event on one control, in order: "text", "line", "progress".
    std::vector<std::string> Values(const std::string& kind, int c) {
        const std::string prefix = kind + " " + std::to_string(c) + " ";
        std::vector<std::string> values;
        for (const std::string& e : Events())
            if (e.compare(0, prefix.size(), prefix) == 0) values.push_back(e.substr(prefix.size()));
        return values;
    }
    std::vector<int> Progress(int c) {
        std::vector<int> values;
        for (const std::string& v : Values("progress", c)) values.push_back(std::stoi(v));
        return values;
    }

private:
    void Add(const char* kind, int c, const std::string& value) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::string(kind) + " " + std::to_string(c) + " " + value);
    }
    std::mutex mutex_;
    std::deque<int> answers_;
    std::vector<MessageCall> messages_;
    std::map<int, int> states_;
    std::vector<std::string> events_;
};

struct ScopedUi {
    ScopedUi() { SetUi(&ui); }
    ~ScopedUi() { SetUi(nullptr); }
    EventUi ui;
};

}  // namespace qvk::test
