#pragma once
// Modal message boxes, without icons, as the windows' logic asks for them.
#include <string>

namespace vtx::setup {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual Answer Show(const std::wstring& text, const std::wstring& title, Buttons buttons) = 0;
};

} // namespace vtx::setup
