// A Ui that records every box and answers questions from a script, for tests.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/ui.h"

namespace tqv {

struct RecordedBox {
    Box kind;
    std::string text;
    std::string caption;
};

class RecordingUi : public Ui {
public:
    void box(Box kind, std::string_view text, std::string_view caption) override {
        boxes.push_back({kind, std::string(text), std::string(caption)});
    }
    bool ask(std::string_view text, std::string_view caption) override {
        questions.push_back({Box::plain, std::string(text), std::string(caption)});
        if (answers.empty()) return true;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void repaint_notify() override { ++repaints; }
    void withdraw(std::string_view text) override { withdrawn.emplace_back(text); }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& b : boxes) out.push_back(b.text);
        return out;
    }
    void clear() {
        boxes.clear();
        questions.clear();
    }

    std::vector<RecordedBox> boxes;
    std::vector<RecordedBox> questions;
    std::deque<bool> answers;  // scripted Yes (true) / No (false); Yes when empty
    int repaints = 0;
    std::vector<std::string> withdrawn;
};

}  // namespace tqv
