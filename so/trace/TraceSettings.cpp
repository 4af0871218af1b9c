// Reading the trace settings of one device key.
#include "trace/TraceSettings.h"

#include "win32/UniqueRegKey.h"

#include <shlobj.h>

#include <cwchar>
#include <optional>

namespace vtx {

namespace {

constexpr uint64_t kMinMaxBytes = 1024;
constexpr uint64_t kMaxMaxBytes = 1024ull * 1024 * 1024;

std::optional<std::wstring> ReadText(HKEY key, const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD type = 0;
    DWORD bytes = sizeof(buffer);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::wstring text(buffer, wcsnlen(buffer, bytes / sizeof(wchar_t)));
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[1024];
        DWORD n = ExpandEnvironmentStringsW(text.c_str(), expanded, 1024);
        if (n == 0 || n > 1024) {
            return std::nullopt;
        }
        text = expanded;
    }
    return text;
}

// A REG_DWORD, or a REG_SZ holding a decimal number.
std::optional<uint64_t> ReadNumber(HKEY key, const wchar_t* name) {
    DWORD value = 0;
    DWORD type = 0;
    DWORD bytes = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && bytes == sizeof(value)) {
        return value;
    }
    std::optional<std::wstring> text = ReadText(key, name);
    if (!text) {
        return std::nullopt;
    }
    uint64_t number = 0;
    size_t digits = 0;
    for (wchar_t c : *text) {
        if (c == L' ' && digits == 0) {
            continue;
        }
        if (c < L'0' || c > L'9') {
            break;
        }
        number = number > kMaxMaxBytes ? number : number * 10 + static_cast<uint64_t>(c - L'0');
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return number;
}

std::wstring DefaultFolder() {
    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base))) {
        return L"";
    }
    return std::wstring(base) + L"\\Veltrix\\VTXCashDrawer";
}

// A device name may hold characters a file name cannot.
std::wstring FileNameOf(const std::wstring& deviceName) {
    std::wstring name = deviceName.empty() ? L"device" : deviceName;
    for (wchar_t& c : name) {
        if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c) != nullptr) {
            c = L'_';
        }
    }
    return name + L".log";
}

} // namespace

TraceSettings ReadTraceSettings(HKEY deviceKey, const std::wstring& deviceName) {
    TraceSettings settings;
    std::optional<uint64_t> level = ReadNumber(deviceKey, L"TraceLevel");
    if (!level || *level == 0) {
        return settings;
    }
    settings.level = *level > kTraceWire ? kTraceWire : static_cast<int>(*level);
    if (std::optional<uint64_t> kb = ReadNumber(deviceKey, L"TraceMaxKB")) {
        uint64_t bytes = *kb * 1024;
        settings.maxBytes = bytes < kMinMaxBytes ? kMinMaxBytes : bytes > kMaxMaxBytes ? kMaxMaxBytes : bytes;
    }
    std::optional<std::wstring> file = ReadText(deviceKey, L"TraceFile");
    if (file && !file->empty()) {
        settings.file = *file;
    } else {
        std::wstring folder = DefaultFolder();
        settings.file = folder.empty() ? L"" : folder + L"\\" + FileNameOf(deviceName);
    }
    if (settings.file.empty()) {
        settings.level = kTraceOff;
    }
    return settings;
}

TraceSettings ReadTraceSettings(const std::wstring& keyPath, const std::wstring& deviceName) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return {};
    }
    return ReadTraceSettings(key.get(), deviceName);
}

} // namespace vtx
