#pragma once
// Reading back what registration wrote under HKEY_CLASSES_ROOT.
#include <windows.h>

#include <optional>
#include <string>

namespace vtx::test {

// A text value (the key's default when name is null); nullopt when the key
// or the value is missing.
std::optional<std::wstring> ReadClassesText(const std::wstring& key, const wchar_t* name = nullptr);
bool ClassesKeyExists(const std::wstring& key);
void WriteClassesText(const std::wstring& key, const wchar_t* name, const std::wstring& text);

} // namespace vtx::test
