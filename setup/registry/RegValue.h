#pragma once
// Values as the registry module hands them to its callers: a cell is empty,
// text, a byte array or a signed 32-bit integer.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace vtx::setup {

using Bytes = std::vector<unsigned char>;
using RegValue = std::variant<std::monostate, std::wstring, Bytes, std::int32_t>;

// Value type codes as callers pass them (the registry's own numbers).
inline constexpr short kTypeText = 1;
inline constexpr short kTypeBinary = 3;
inline constexpr short kTypeDword = 4;

// One row of a listing: the value's name and its data. Rows past the last
// value hold two empty cells.
struct ValueRow {
    RegValue name;
    RegValue data;
};
using ValueTable = std::vector<ValueRow>;

// The program's error 1001, raised for a type code the module cannot read.
class RegistryError : public std::runtime_error {
public:
    RegistryError() : std::runtime_error("Unsupported value type") {}
    static constexpr int kNumber = 1001;
    int Number() const noexcept { return kNumber; }
};

inline bool IsEmpty(const RegValue& v) noexcept {
    return std::holds_alternative<std::monostate>(v);
}

} // namespace vtx::setup
