// The program's message dialog as a script, for as long as it lives: every question is
// recorded, and answered from the queue, then with the fallback answer.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/Questions.h"

struct DialogCall {
    std::string text;
    int type;
    uint16_t buttons;
};

class ScriptedDialog {
public:
    explicit ScriptedDialog(QuestionService& questions, int fallbackAnswer = mrOk)
        : fallback(fallbackAnswer), questions_(questions)
    {
        questions_.SetDialog([this](const std::string& text, int type, uint16_t buttons) {
            calls.push_back({text, type, buttons});
            texts.push_back(text);
            if (onDialog) onDialog();
            if (answers.empty()) return fallback;
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~ScriptedDialog() { questions_.SetDialog(nullptr); }
    ScriptedDialog(const ScriptedDialog&) = delete;
    ScriptedDialog& operator=(const ScriptedDialog&) = delete;

    bool Asked(const std::string& text) const
    {
        for (const DialogCall& c : calls)
            if (c.text == text) return true;
        return false;
    }

    std::vector<DialogCall> calls;
    std::vector<std::string> texts;   // the calls' texts alone
    std::deque<int> answers;
    int fallback;
    std::function<void()> onDialog;   // while the question is open

private:
    QuestionService& questions_;
};
