#pragma once
#include <string>

namespace vtx::setup {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

// Modal message boxes, without icons.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual Answer Show(const std::wstring& text, const std::wstring& title, Buttons buttons) = 0;
};

} // namespace vtx::setup
