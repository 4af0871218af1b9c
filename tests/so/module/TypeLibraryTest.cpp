// The type library embedded in the DLL, loaded back, the DLL's version and its event log messages.
#include "Identifiers.h"
#include "ServerDll.h"

#include "EventMessages.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"

#include <oleauto.h>

#include <algorithm>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vtx::test {
namespace {

struct Param {
    const wchar_t* name;
    VARTYPE type; // VT_PTR-wrapped types are written as VT_BYREF | type
};

struct Method {
    MEMBERID id;
    const wchar_t* name;
    VARTYPE result;
    std::vector<Param> params;
};

const std::vector<Method> kMethods = {
    {1, L"CheckHealth", VT_I4, {{L"Level", VT_I4}}},
    {2, L"Claim", VT_I4, {{L"timeout", VT_I4}}},
    {3, L"Close", VT_I4, {}},
    {4, L"COFreezeEvents", VT_I4, {{L"freeze", VT_BOOL}}},
    {5, L"CompareFirmwareVersion", VT_I4, {{L"firmwareFileName", VT_BSTR}, {L"pResult", VT_BYREF | VT_I4}}},
    {6,
     L"DirectIO",
     VT_I4,
     {{L"command", VT_I4}, {L"pData", VT_BYREF | VT_I4}, {L"pString", VT_BYREF | VT_BSTR}}},
    {7,
     L"OpenService",
     VT_I4,
     {{L"DeviceClass", VT_BSTR}, {L"DeviceName", VT_BSTR}, {L"pDispatch", VT_DISPATCH}}},
    {8, L"Release", VT_I4, {}},
    {9, L"ResetStatistics", VT_I4, {{L"statisticsBuffer", VT_BSTR}}},
    {10, L"RetrieveStatistics", VT_I4, {{L"pStatisticsBuffer", VT_BYREF | VT_BSTR}}},
    {11, L"UpdateFirmware", VT_I4, {{L"firmwareFileName", VT_BSTR}}},
    {12, L"UpdateStatistics", VT_I4, {{L"statisticsBuffer", VT_BSTR}}},
    {13, L"GetPropertyNumber", VT_I4, {{L"PropIndex", VT_I4}}},
    {14, L"SetPropertyNumber", VT_VOID, {{L"PropIndex", VT_I4}, {L"Number", VT_I4}}},
    {15, L"GetPropertyString", VT_BSTR, {{L"PropIndex", VT_I4}}},
    {16, L"SetPropertyString", VT_VOID, {{L"PropIndex", VT_I4}, {L"str", VT_BSTR}}},
    {17, L"OpenDrawer", VT_VOID, {}},
    {18,
     L"WaitForDrawerClose",
     VT_VOID,
     {{L"beepTimeout", VT_I4}, {L"beepFrequency", VT_I4}, {L"beepDuration", VT_I4}, {L"beepDelay", VT_I4}}},
};

VARTYPE Flatten(const TYPEDESC& t) {
    if (t.vt == VT_PTR && t.lptdesc != nullptr) {
        return static_cast<VARTYPE>(VT_BYREF | t.lptdesc->vt);
    }
    return t.vt;
}

class TypeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(ServerDll::Path().c_str(), REGKIND_NONE, library.put()), S_OK);
        ASSERT_TRUE(library);
    }

    ComPtr<ITypeInfo> InfoOf(const wchar_t* iid) {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(library->GetTypeInfoOfGuid(Guid(iid), info.put()), S_OK) << iid;
        return info;
    }
    // A copy of the type's attributes (zeroed when they cannot be read).
    static TYPEATTR AttrOf(ITypeInfo* info) {
        TYPEATTR copy{};
        TYPEATTR* attr = nullptr;
        EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
        if (attr != nullptr) {
            copy = *attr;
            info->ReleaseTypeAttr(attr);
        }
        return copy;
    }
    static std::wstring NameOf(ITypeInfo* info) {
        Bstr name;
        EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr), S_OK);
        return std::wstring(name.view());
    }

    ComPtr<ITypeLib> library;
};

TEST_F(TypeLibrary, LibraryCarriesItsIdentifierVersionLocaleAndName) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, Guid(kLibId)));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0x0409u);
    // The platform of the build: a 64-bit DLL carries a 64-bit library.
    EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    library->ReleaseTLibAttr(attr);

    Bstr name, doc, helpFile;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), doc.put(), nullptr, helpFile.put()), S_OK);
    EXPECT_EQ(name.view(), L"VTXCashDrawer");
    EXPECT_EQ(doc.view(), L"");
    EXPECT_EQ(helpFile.view(), L"");
    EXPECT_EQ(library->GetTypeInfoCount(), 2u);
}

TEST_F(TypeLibrary, DispinterfaceHasTheEighteenMethodsWithTheirDispids) {
    ComPtr<ITypeInfo> info = InfoOf(kDispinterfaceIid);
    ASSERT_TRUE(info);
    const TYPEATTR attr = AttrOf(info.get());
    EXPECT_EQ(attr.typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr.wTypeFlags, TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(attr.cVars, 0);
    const WORD functions = attr.cFuncs;
    EXPECT_EQ(NameOf(info.get()), L"ICashDrawer");

    ASSERT_EQ(functions, kMethods.size());
    for (WORD i = 0; i < functions; ++i) {
        FUNCDESC* func = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
        const Method& expected = kMethods[i];
        SCOPED_TRACE(testing::Message() << "method " << i);
        EXPECT_EQ(func->memid, expected.id);
        EXPECT_EQ(func->funckind, FUNC_DISPATCH);
        EXPECT_EQ(func->invkind, INVOKE_FUNC);
        EXPECT_EQ(Flatten(func->elemdescFunc.tdesc), expected.result);
        ASSERT_EQ(static_cast<size_t>(func->cParams), expected.params.size());
        for (size_t p = 0; p < expected.params.size(); ++p) {
            EXPECT_EQ(Flatten(func->lprgelemdescParam[p].tdesc), expected.params[p].type)
                << "parameter " << p;
        }

        std::vector<BSTR> names(expected.params.size() + 1, nullptr);
        UINT got = 0;
        ASSERT_EQ(info->GetNames(func->memid, names.data(), static_cast<UINT>(names.size()), &got), S_OK);
        std::vector<Bstr> owned;
        for (UINT n = 0; n < got; ++n) {
            owned.push_back(Bstr::Attach(names[n]));
        }
        ASSERT_EQ(got, names.size());
        EXPECT_EQ(owned[0].view(), expected.name);
        for (size_t p = 0; p < expected.params.size(); ++p) {
            EXPECT_EQ(owned[p + 1].view(), expected.params[p].name);
        }

        Bstr help;
        ASSERT_EQ(info->GetDocumentation(func->memid, nullptr, help.put(), nullptr, nullptr), S_OK);
        EXPECT_EQ(help.view(), std::wstring(L"method ") + expected.name);
        info->ReleaseFuncDesc(func);
    }
}

TEST_F(TypeLibrary, CoclassIsCreatableWithTheDispinterfaceAsDefault) {
    ComPtr<ITypeInfo> info = InfoOf(kCoclassClsid);
    ASSERT_TRUE(info);
    const TYPEATTR attr = AttrOf(info.get());
    EXPECT_EQ(attr.typekind, TKIND_COCLASS);
    EXPECT_EQ(attr.wTypeFlags, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attr.cImplTypes, 1);
    EXPECT_EQ(NameOf(info.get()), L"CashDrawer");

    INT flags = 0;
    ASSERT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT); // default, and no event source
    HREFTYPE ref = 0;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
    ComPtr<ITypeInfo> implemented;
    ASSERT_EQ(info->GetRefTypeInfo(ref, implemented.put()), S_OK);
    EXPECT_TRUE(IsEqualGUID(AttrOf(implemented.get()).guid, Guid(kDispinterfaceIid)));
}

TEST(VersionResource, FileVersionIsTwoOneWithVersionStringsTwoZero) {
    const std::wstring path = ServerDll::Path();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);

    for (const wchar_t* item : {L"FileVersion", L"ProductVersion"}) {
        wchar_t* text = nullptr;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + item;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << item;
        EXPECT_STREQ(text, L"2.0.0.0") << item;
    }
}

// The DLL is the event source's EventMessageFile: every entry of its message table renders in
// full, as Event Viewer would load it, and the table holds exactly the reporter's messages.
TEST(EventMessages, EveryMessageRendersFromTheModuleWithAllItsStrings) {
    HMODULE module = LoadLibraryExW(ServerDll::Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MESSAGETABLE);
    ASSERT_NE(found, nullptr);
    const auto* table = static_cast<const MESSAGE_RESOURCE_DATA*>(LockResource(LoadResource(module, found)));
    std::vector<DWORD> ids;
    for (DWORD b = 0; b < table->NumberOfBlocks; ++b) {
        for (DWORD id = table->Blocks[b].LowId; id <= table->Blocks[b].HighId; ++id) {
            ids.push_back(id);
            const wchar_t* strings[] = {L"VX-CDUSB", L"COM3", L"21", L"111", L" 2 more"};
            wchar_t text[1024] = L"";
            const DWORD length =
                FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id,
                               MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, std::size(text),
                               reinterpret_cast<va_list*>(const_cast<wchar_t**>(strings)));
            ASSERT_GT(length, 0u) << id << " error " << GetLastError();
            const std::wstring rendered(text, length);
            for (const wchar_t* part : {L"VX-CDUSB", L"COM3", L" 2 more"}) {
                EXPECT_NE(rendered.find(part), std::wstring::npos) << id << " " << part;
            }
            EXPECT_EQ(rendered.find(L'%'), std::wstring::npos) << id;
        }
    }
    std::sort(ids.begin(), ids.end()); // the full IDs, severity included, as ReportEventW passes them
    EXPECT_EQ(ids, (std::vector<DWORD>{MSG_DRAWER_BACK, MSG_WAIT_GAVE_UP, MSG_TRACE_NOT_WRITTEN,
                                       MSG_DRAWER_LOST, MSG_COMMAND_FAILED, MSG_WORKER_FORCED}));
    FreeLibrary(module);
}

} // namespace
} // namespace vtx::test
