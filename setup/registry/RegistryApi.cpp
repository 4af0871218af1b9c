// The utility's registry module over the ANSI registry calls.
#include "registry/RegistryApi.h"

#include "registry/AnsiText.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

#include <charconv>
#include <cstring>
#include <string>

namespace vtx::setup {

namespace {

constexpr DWORD kTextBuffer = 1024;
constexpr DWORD kBinaryBuffer = 4096;
constexpr DWORD kNameBuffer = 260;
constexpr DWORD kMaxIndex = 999999;

UniqueRegKey OpenKey(HKEY root, std::wstring_view subKey, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, ToAnsi(subKey).c_str(), 0, access, &key) != ERROR_SUCCESS) {
        return {};
    }
    return UniqueRegKey(key);
}

// Windows keeps text exactly as written, with or without a terminating NUL;
// dropping the last character unconditionally would cut "12" to "1".
std::wstring StoredText(const unsigned char* data, DWORD size) {
    if (size > 0 && data[size - 1] == '\0') {
        --size;
    }
    return FromAnsi(std::string_view(reinterpret_cast<const char*>(data), size));
}

std::int32_t StoredInt32(const unsigned char* data) {
    std::uint32_t raw;
    std::memcpy(&raw, data, sizeof raw);
    return static_cast<std::int32_t>(raw);
}

std::optional<std::string> AnsiTextOf(const RegValue& value) {
    if (const auto* text = std::get_if<std::wstring>(&value)) {
        return ToAnsi(*text);
    }
    if (const auto* number = std::get_if<std::int32_t>(&value)) {
        return std::to_string(*number);
    }
    if (const auto* bytes = std::get_if<Bytes>(&value)) {
        return std::string(bytes->begin(), bytes->end());
    }
    return std::string();
}

std::optional<std::int32_t> Int32Of(const RegValue& value) {
    if (const auto* number = std::get_if<std::int32_t>(&value)) {
        return *number;
    }
    if (IsEmpty(value)) {
        return 0;
    }
    if (const auto* text = std::get_if<std::wstring>(&value)) {
        std::string digits = ToAnsi(*text);
        const char* first = digits.data();
        const char* last = first + digits.size();
        if (first != last && *first == '+') {
            ++first;
        }
        std::int32_t parsed = 0;
        auto [end, ec] = std::from_chars(first, last, parsed);
        if (ec == std::errc() && end == last && first != last) {
            return parsed;
        }
    }
    return std::nullopt;
}

LSTATUS SetValue(HKEY key, const std::string& name, DWORD type, const void* data, size_t bytes) {
    return RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(bytes));
}

} // namespace

std::optional<std::wstring> ReadRegistryText(HKEY root, std::wstring_view subKey, std::wstring_view name,
                                             DWORD capacity, REGSAM view) {
    UniqueRegKey key = OpenKey(root, subKey, KEY_READ | view);
    if (!key) {
        return std::nullopt;
    }
    // The capacity was an ANSI buffer: one byte a character and one for the NUL.
    const size_t maxChars = capacity > 0 ? capacity - 1 : 0;
    return vtx::ReadRegistryText(key.get(), std::wstring(name).c_str(), maxChars,
                                 RegistryTextTypes::AsStored);
}

RegValue ReadRegistryValue(HKEY root, std::wstring_view subKey, std::wstring_view name, short type,
                           const RegValue& fallback) {
    UniqueRegKey key = OpenKey(root, subKey, KEY_READ);
    if (!key) {
        return fallback;
    }
    const std::string valueName = ToAnsi(name);
    auto query = [&](Bytes& buffer) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr, buffer.data(), &size) !=
            ERROR_SUCCESS) {
            return false;
        }
        buffer.resize(size);
        return true;
    };
    switch (type) {
    case kTypeText: {
        Bytes buffer(kTextBuffer);
        return query(buffer) ? RegValue(StoredText(buffer.data(), static_cast<DWORD>(buffer.size())))
                             : fallback;
    }
    case kTypeBinary: {
        Bytes buffer(kBinaryBuffer);
        return query(buffer) ? RegValue(std::move(buffer)) : fallback;
    }
    case kTypeDword: {
        Bytes buffer(sizeof(std::int32_t));
        if (!query(buffer)) {
            return fallback;
        }
        buffer.resize(sizeof(std::int32_t)); // short data reads as zero-filled
        return StoredInt32(buffer.data());
    }
    default:
        throw RegistryError();
    }
}

bool WriteRegistryValue(HKEY root, std::wstring_view subKey, std::wstring_view name, short type,
                        const RegValue& value, REGSAM view) {
    UniqueRegKey key = OpenKey(root, subKey, KEY_WRITE | view);
    if (!key) {
        return false;
    }
    const std::string valueName = ToAnsi(name);
    switch (type) {
    case kTypeText:
        if (auto text = AnsiTextOf(value)) {
            return SetValue(key.get(), valueName, REG_SZ, text->data(), text->size()) == ERROR_SUCCESS;
        }
        return false;
    case kTypeBinary:
        if (const auto* bytes = std::get_if<Bytes>(&value)) {
            return SetValue(key.get(), valueName, REG_BINARY, bytes->data(), bytes->size()) == ERROR_SUCCESS;
        }
        return false;
    case kTypeDword:
        if (auto number = Int32Of(value)) {
            return SetValue(key.get(), valueName, REG_DWORD, &*number, sizeof(*number)) == ERROR_SUCCESS;
        }
        return false;
    default:
        return false;
    }
}

std::optional<ValueTable> ListRegistryValues(HKEY root, std::wstring_view subKey) {
    ValueTable table(101);
    UniqueRegKey opened;
    HKEY key = root;
    if (!subKey.empty()) {
        opened = OpenKey(root, subKey, KEY_READ);
        if (!opened) {
            return std::nullopt;
        }
        key = opened.get();
    }
    std::string name(kNameBuffer, '\0');
    Bytes data(kBinaryBuffer);
    for (DWORD i = 0; i <= kMaxIndex; ++i) {
        if (i >= table.size()) {
            table.resize(i + 100);
        }
        DWORD nameLength = kNameBuffer;
        DWORD type = REG_NONE;
        DWORD size = kBinaryBuffer;
        std::memset(data.data(), 0, sizeof(std::int32_t));
        if (RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS) {
            break;
        }
        ValueRow& row = table[i];
        row.name = FromAnsi(std::string_view(name.data(), nameLength));
        switch (type) {
        case REG_SZ:
            row.data = StoredText(data.data(), size);
            break;
        case REG_DWORD:
            row.data = StoredInt32(data.data());
            break;
        default:
            row.data = Bytes(data.begin(), data.begin() + size);
            break;
        }
    }
    return table;
}

} // namespace vtx::setup
