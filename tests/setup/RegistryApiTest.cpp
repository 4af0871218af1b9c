// The registry module against the real registry of the test prefix, in a
// scratch device key; values written through ntdll keep exactly the bytes
// given (no NUL appended), as Windows keeps text written without one.
#include "DeviceRegistry.h"

#include "logic/RegistryLayout.h"
#include "adapters/Win32SetupRegistry.h"
#include "registry/RegistryApi.h"
#include "win32/UniqueRegKey.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vtx::setup::test {
namespace {

using vtx::test::DeviceKey;
using vtx::test::UniqueDeviceName;

RegValue Text(const wchar_t* s) {
    return std::wstring(s);
}

class SetupRegistryApi : public ::testing::Test {
protected:
    RegValue Read(const wchar_t* name, short type, RegValue fallback = Text(L"100")) {
        return ReadRegistryValue(HKEY_LOCAL_MACHINE, path, name, type, fallback);
    }
    void Write(const wchar_t* name, short type, const RegValue& value) {
        WriteRegistryValue(HKEY_LOCAL_MACHINE, path, name, type, value);
    }
    // Text stored as the bytes given, UTF-16, with no NUL added.
    void StoreRaw(const wchar_t* name, DWORD type, const std::wstring& data) {
        key.SetRaw(name, type, data.data(), static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    }
    DWORD StoredType(const wchar_t* name) {
        DWORD type = REG_NONE;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                         nullptr) != ERROR_SUCCESS) {
            return REG_NONE;
        }
        return type;
    }
    ValueTable List() {
        auto table = ListRegistryValues(HKEY_LOCAL_MACHINE, path);
        EXPECT_TRUE(table.has_value());
        return table.value_or(ValueTable());
    }

    DeviceKey key{UniqueDeviceName(L"VX-SETUP")};
    std::wstring path = key.Path();
    std::wstring missing = key.Path() + L"\\Missing";
};

TEST_F(SetupRegistryApi, AMissingValueOrKeyGivesTheCallersDefault) {
    EXPECT_EQ(Read(L"LDN", kTypeText), Text(L"100"));
    EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, missing, L"LDN", kTypeDword, std::int32_t{7}),
              RegValue(std::int32_t{7}));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, missing, L"Port", 128), std::nullopt);
}

TEST_F(SetupRegistryApi, TextWrittenReadsBackUnchanged) {
    for (const wchar_t* text : {L"12", L"COM3", L"\\\\.\\VXCR3\\", L"", L"Kasse \u00e9"}) {
        Write(L"LDN", kTypeText, Text(text));
        EXPECT_EQ(Read(L"LDN", kTypeText), Text(text));
        EXPECT_EQ(StoredType(L"LDN"), static_cast<DWORD>(REG_SZ));
    }
}

TEST_F(SetupRegistryApi, TextStoredWithoutATerminatingNulReadsBackWhole) {
    StoreRaw(L"Port", REG_SZ, L"COM3");
    StoreRaw(L"LDN", REG_SZ, L"12");
    EXPECT_EQ(Read(L"Port", kTypeText), Text(L"COM3"));
    EXPECT_EQ(Read(L"LDN", kTypeText), Text(L"12"));
    EXPECT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, path, L"Port", 128), L"COM3");

    StoreRaw(L"Port", REG_SZ, std::wstring(L"COM3\0", 5));
    EXPECT_EQ(Read(L"Port", kTypeText), Text(L"COM3")) << "one terminating NUL is dropped";
    StoreRaw(L"Port", REG_SZ, L"");
    EXPECT_EQ(Read(L"Port", kTypeText), Text(L""));
}

TEST_F(SetupRegistryApi, AnUnsupportedTypeCodeRaises1001OnlyWhenTheKeyOpens) {
    Write(L"LDN", kTypeText, Text(L"1"));
    try {
        Read(L"LDN", 2);
        FAIL() << "no error for type code 2";
    } catch (const RegistryError& e) {
        EXPECT_EQ(e.Number(), 1001);
        EXPECT_STREQ(e.what(), "Unsupported value type");
    }
    EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, missing, L"LDN", 2, Text(L"dflt")), Text(L"dflt"));
}

TEST_F(SetupRegistryApi, WritesWithAnUnsupportedTypeOrToAMissingKeyChangeNothing) {
    Write(L"Two", 2, Text(L"x"));
    EXPECT_EQ(StoredType(L"Two"), static_cast<DWORD>(REG_NONE));
    WriteRegistryValue(HKEY_LOCAL_MACHINE, missing, L"LDN", kTypeText, Text(L"1"));
    EXPECT_EQ(ListRegistryValues(HKEY_LOCAL_MACHINE, missing), std::nullopt) << "no key was created";
}

TEST_F(SetupRegistryApi, BinaryAndIntegerValuesRoundTrip) {
    const Bytes bytes{0, 1, 2, 0xFF};
    Write(L"Bin", kTypeBinary, bytes);
    EXPECT_EQ(Read(L"Bin", kTypeBinary), RegValue(bytes));
    EXPECT_EQ(StoredType(L"Bin"), static_cast<DWORD>(REG_BINARY));

    Write(L"Num", kTypeDword, std::int32_t{-5});
    EXPECT_EQ(Read(L"Num", kTypeDword), RegValue(std::int32_t{-5}));
    Write(L"Num", kTypeDword, Text(L"42"));
    EXPECT_EQ(Read(L"Num", kTypeDword), RegValue(std::int32_t{42}));
    EXPECT_EQ(StoredType(L"Num"), static_cast<DWORD>(REG_DWORD));
}

TEST_F(SetupRegistryApi, AnOpenKeyWithAnEmptySubKeyIsUsedItself) {
    UniqueRegKey open;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, open.put()), ERROR_SUCCESS);
    WriteRegistryValue(open.get(), L"", L"LDN", kTypeText, Text(L"7"));
    EXPECT_EQ(ReadRegistryValue(open.get(), L"", L"LDN", kTypeText, Text(L"100000")), Text(L"7"));
    auto table = ListRegistryValues(open.get(), L"");
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ((*table)[0].name, Text(L"LDN"));
}

TEST_F(SetupRegistryApi, AKeyWithNoValuesListsRows0To100AllEmpty) {
    ValueTable table = List();
    ASSERT_EQ(table.size(), 101u);
    for (const ValueRow& row : table) {
        EXPECT_TRUE(IsEmpty(row.name) && IsEmpty(row.data));
    }
}

TEST_F(SetupRegistryApi, TwoHundredFiftyValuesListRows0To300) {
    for (int i = 0; i < 250; ++i) {
        wchar_t name[8];
        std::swprintf(name, 8, L"v%03d", i);
        Write(name, kTypeDword, std::int32_t{i});
    }
    ValueTable table = List();
    ASSERT_EQ(table.size(), 301u);
    for (int i = 0; i < 250; ++i) {
        wchar_t name[8];
        std::swprintf(name, 8, L"v%03d", i);
        EXPECT_EQ(table[i].name, Text(name));
        EXPECT_EQ(table[i].data, RegValue(std::int32_t{i}));
    }
    for (size_t i = 250; i < table.size(); ++i) {
        EXPECT_TRUE(IsEmpty(table[i].name) && IsEmpty(table[i].data)) << "row " << i;
    }
}

TEST_F(SetupRegistryApi, ListedValuesTakeTheirRegistryTypes) {
    Write(L"a-text", kTypeText, Text(L"VX-CDUSB"));
    StoreRaw(L"b-raw", REG_SZ, L"COM3");
    Write(L"c-dword", kTypeDword, std::int32_t{-2});
    StoreRaw(L"d-expand", REG_EXPAND_SZ, L"%TEMP%");
    Write(L"e-binary", kTypeBinary, Bytes{9, 8, 7});
    Write(L"f-empty", kTypeBinary, Bytes{});
    StoreRaw(L"g-multi", REG_MULTI_SZ, std::wstring(L"A\0B\0", 4));

    ValueTable table = List();
    ASSERT_GE(table.size(), 7u);
    EXPECT_EQ(table[0].data, Text(L"VX-CDUSB"));
    EXPECT_EQ(table[1].data, Text(L"COM3"));
    EXPECT_EQ(table[2].data, RegValue(std::int32_t{-2}));
    EXPECT_EQ(table[3].data, RegValue(Bytes{'%', 'T', 'E', 'M', 'P', '%'})) << "expandable text is not text";
    EXPECT_EQ(table[4].data, RegValue(Bytes{9, 8, 7}));
    EXPECT_EQ(table[5].data, RegValue(Bytes{}));
    EXPECT_EQ(table[6].data, RegValue(Bytes{'A', 0, 'B', 0}));
    EXPECT_TRUE(IsEmpty(table[7].name));
}

TEST_F(SetupRegistryApi, DataOver4096BytesEndsTheListingAtThatValue) {
    Write(L"a", kTypeBinary, Bytes(4096, 0x11));
    Write(L"b", kTypeBinary, Bytes(4097, 0x22));
    Write(L"c", kTypeText, Text(L"VX-CDUSB"));
    ValueTable table = List();
    ASSERT_EQ(table.size(), 101u);
    EXPECT_EQ(table[0].data, RegValue(Bytes(4096, 0x11))) << "4096 bytes still fit";
    EXPECT_TRUE(IsEmpty(table[1].name));
    EXPECT_TRUE(IsEmpty(table[2].name)) << "values after it are not listed";
}

TEST_F(SetupRegistryApi, TheDefaultValueIsListedWithAnEmptyName) {
    Write(L"", kTypeText, Text(L"VX-CDUSB"));
    ValueTable table = List();
    EXPECT_EQ(table[0].name, Text(L""));
    EXPECT_EQ(table[0].data, Text(L"VX-CDUSB"));
}

TEST_F(SetupRegistryApi, AKeyThatCannotBeOpenedGivesNoTable) {
    EXPECT_EQ(ListRegistryValues(HKEY_LOCAL_MACHINE, missing), std::nullopt);
}

// A scratch key in both registry views of a 64-bit prefix.
class SetupRegistryViews : public ::testing::Test {
protected:
    SetupRegistryViews() {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            UniqueRegKey key;
            EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                      nullptr, key.put(), nullptr),
                      ERROR_SUCCESS);
        }
    }
    ~SetupRegistryViews() override {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
        }
    }
    std::wstring Stored(REGSAM view, const wchar_t* name) {
        UniqueRegKey key;
        wchar_t text[64] = {};
        DWORD bytes = sizeof text - sizeof(wchar_t);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS ||
            RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) !=
                ERROR_SUCCESS) {
            return L"<none>";
        }
        return text;
    }

    std::wstring path = std::wstring(opos::kCashDrawerClassKey) + L"\\" + UniqueDeviceName(L"VX-VIEWS");
    const REGSAM other = OtherRegistryView();
    const REGSAM own = other == KEY_WOW64_32KEY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
};

TEST_F(SetupRegistryViews, EveryChangeReachesBothViewsAndAMissedCopyKeepsTheOwnViewsWrite) {
    ASSERT_NE(other, 0u) << "the test prefix is 64-bit Windows";
    Win32SetupRegistry registry;
    registry.Write(path, L"Port", kTypeText, Text(L"COM5"));
    registry.WriteName(path, L"POS1", L"VX-CDUSB", L"VX-CDUSB");
    registry.DeleteName(path, L"POS1", L"VX-CDUSB");
    registry.DeleteName(path, L"Never", L"VX-CDUSB");
    for (REGSAM view : {own, other}) {
        EXPECT_EQ(Stored(view, L"Port"), L"COM5") << view;
        EXPECT_EQ(Stored(view, L"POS1"), L"<none>") << view;
    }
    EXPECT_FALSE(registry.TakeMirrorFailure());

    // A name another device has in the other view stays that device's.
    ASSERT_TRUE(WriteRegistryValue(HKEY_LOCAL_MACHINE, path, L"POS2", kTypeText, Text(L"VX-OTHER"), other));
    registry.WriteName(path, L"POS2", L"VX-CD", L"VX-CD");
    EXPECT_TRUE(registry.TakeMirrorFailure()) << "the new name missed the other view";
    registry.DeleteName(path, L"POS2", L"VX-CD");
    EXPECT_EQ(Stored(own, L"POS2") + Stored(other, L"POS2"), L"<none>VX-OTHER");
    EXPECT_FALSE(registry.TakeMirrorFailure());

    ASSERT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), other, 0), ERROR_SUCCESS);
    registry.Write(path, L"Port", kTypeText, Text(L"COM6"));
    EXPECT_EQ(Stored(own, L"Port"), L"COM6");
    EXPECT_TRUE(registry.TakeMirrorFailure());
    EXPECT_FALSE(registry.TakeMirrorFailure()) << "reported once";
}

TEST_F(SetupRegistryViews, WithoutAnOtherViewOnlyTheOwnViewChanges) {
    Win32SetupRegistry registry(0);
    registry.Write(path, L"Port", kTypeText, Text(L"COM5"));
    EXPECT_EQ(Stored(own, L"Port"), L"COM5");
    EXPECT_EQ(Stored(other, L"Port"), L"<none>");
    EXPECT_FALSE(registry.TakeMirrorFailure());
}

} // namespace
} // namespace vtx::setup::test
