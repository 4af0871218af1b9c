// Reading the trace settings of one device key.
#include "trace/TraceSettings.h"

#include "win32/DeviceSettings.h"
#include "win32/UniqueRegKey.h"

#include <shlobj.h>

#include <cwchar>
#include <optional>

namespace vtx {

namespace {

constexpr uint64_t kMinMaxBytes = 1024;
constexpr uint64_t kMaxMaxBytes = 1024ull * 1024 * 1024;

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
    const CDeviceSettings values(deviceKey);
    std::optional<uint64_t> level = values.Number(L"TraceLevel");
    if (!level || *level == 0) {
        return settings;
    }
    settings.level = *level > kTraceWire ? kTraceWire : static_cast<int>(*level);
    if (std::optional<uint64_t> kb = values.Number(L"TraceMaxKB")) {
        uint64_t bytes = *kb * 1024;
        settings.maxBytes = bytes < kMinMaxBytes ? kMinMaxBytes : bytes > kMaxMaxBytes ? kMaxMaxBytes : bytes;
    }
    std::optional<std::wstring> file = values.Text(L"TraceFile");
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
