#pragma once
// Records every message box and answers questions from a script; a question
// nobody scripted an answer for fails the test.
#include "logic/MessageBoxes.h"

#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <string>
#include <vector>

namespace vtx::setup::test {

struct Shown {
    std::wstring text;
    std::wstring title;
    Buttons buttons;
    bool operator==(const Shown&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Shown& s) {
    return out << '"' << testing::PrintToString(s.text) << "\" / \"" << testing::PrintToString(s.title)
               << "\" / " << (s.buttons == Buttons::Ok ? "OK" : "Yes+No");
}

class FakeMessageBoxes final : public MessageBoxes {
public:
    Answer Show(const std::wstring& text, const std::wstring& title, Buttons buttons) override {
        shown.push_back({text, title, buttons});
        if (buttons == Buttons::Ok) {
            return Answer::Ok;
        }
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << shown.back();
            return Answer::No;
        }
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<Shown> shown;
    std::deque<Answer> answers;
};

} // namespace vtx::setup::test
