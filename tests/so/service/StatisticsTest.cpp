// Health check, DirectIO, firmware and statistics on an enabled device, and
// the statistics document read back with a real XML parser (the system's
// MSXML through COM).
#include "ByRef.h"
#include "DrawerServiceTest.h"

#include "com/Bstr.h"

#include <msxml2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vtx::test {
namespace {

constexpr wchar_t kXsiNamespace[] = L"http://www.w3.org/2001/XMLSchema-instance";
constexpr wchar_t kIXRetailNamespace[] = L"http://www.nrf-arts.org/IXRetail/namespace/";

// The document, piece by piece, as the statistics format fixes it.
std::wstring ExpectedDocument() {
    const std::wstring ns = kIXRetailNamespace;
    const std::wstring pieces[] = {
        L"<?xml version='1.0' ?>",
        L"<UPOSStat version=\"1.11.0\" xmlns:xsi=\"" + std::wstring(kXsiNamespace) + L"\" xmlns=\"" + ns +
            L"\" xsi:schemaLocation=\"" + ns + L" UPOSStat.xsd\">",
        L"<Event>",
        L"<Parameter>",
        L"<Name>RequestedStatistic</Name>",
        L"<Value></Value>",
        L"</Parameter>",
        L"</Event>",
        L"<Equipment>",
        L"<UnifiedPOSVersion>1.11</UnifiedPOSVersion>",
        L"<DeviceCategory UPOS=\"CashDrawer\"/>",
        L"<ManufacturerName>Veltrix Works</ManufacturerName>",
        L"<ModelName>Veltrix Works Cash Drawer</ModelName>",
        L"<SerialNumber></SerialNumber>",
        L"<FirmwareRevision>",
        L"Unknown",
        L".",
        L"Unknown",
        L"</FirmwareRevision>",
        L"<Interface>Unknown</Interface>",
        L"<InstallationDate></InstallationDate>",
        L"</Equipment>",
        L"</UPOSStat>",
    };
    std::wstring document;
    for (const std::wstring& piece : pieces) {
        document += piece;
    }
    return document;
}

class Statistics : public DrawerServiceTest {
protected:
    Statistics() : DrawerServiceTest(L"VX-STATS") {}

    long Call(DISPID id, std::initializer_list<VARIANT> args = {}) { return CallLong(so.get(), id, args); }
    void Claim() { ASSERT_EQ(Call(so_dispid::Claim, {Long(1000)}), 0); }
    void Enable(bool on) {
        CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(3), Long(on ? 1 : 0)});
        ASSERT_EQ(ResultCode(so.get()), 0);
    }
    std::wstring HealthText() { return CallText(so.get(), so_dispid::GetPropertyString, {Long(1000001)}); }
    std::wstring Retrieve() {
        BSTR text = SysAllocString(L"RequestedStatistic,HoursPoweredCount");
        EXPECT_EQ(Call(so_dispid::RetrieveStatistics, {BstrRef(&text)}), 0);
        Bstr owned = Bstr::Attach(text);
        return std::wstring(owned.view());
    }
};

TEST_F(Statistics, CheckHealthStoresTheTextOfEachLevel) {
    ASSERT_NO_FATAL_FAILURE(Claim());
    ASSERT_NO_FATAL_FAILURE(Enable(true));
    const std::pair<long, const wchar_t*> levels[] = {
        {1, L"Internal Heath Check: check health level not supported."},
        {2, L"External Heath Check: check health level not supported."},
        {3, L"Interactive Heath Check: check health level not supported."},
        {7, L"Check health level nonexistent."},
        {0, L"Check health level nonexistent."},
        {-1, L"Check health level nonexistent."},
    };
    for (const auto& [level, text] : levels) {
        EXPECT_EQ(Call(so_dispid::CheckHealth, {Long(level)}), 106) << "level " << level;
        EXPECT_EQ(ResultCode(so.get()), 106);
        EXPECT_EQ(HealthText(), text) << "level " << level;
    }
}

TEST_F(Statistics, CheckHealthNeedsEnablingButNoClaim) {
    ASSERT_NO_FATAL_FAILURE(Enable(true));
    EXPECT_EQ(Call(so_dispid::CheckHealth, {Long(2)}), 106);
    EXPECT_EQ(HealthText(), L"External Heath Check: check health level not supported.");

    // A refusal keeps the text of the last check.
    ASSERT_NO_FATAL_FAILURE(Enable(false));
    EXPECT_EQ(Call(so_dispid::CheckHealth, {Long(1)}), 105);
    EXPECT_EQ(HealthText(), L"External Heath Check: check health level not supported.");
}

TEST_F(Statistics, DirectIOChecksClaimBeforeEnablingAndHasNoCommands) {
    ASSERT_NO_FATAL_FAILURE(Enable(true));
    long data = 5;
    BSTR text = SysAllocString(L"in");
    EXPECT_EQ(Call(so_dispid::DirectIO, {Long(1), LongRef(&data), BstrRef(&text)}), 103);

    ASSERT_NO_FATAL_FAILURE(Enable(false));
    ASSERT_NO_FATAL_FAILURE(Claim());
    ASSERT_NO_FATAL_FAILURE(Enable(true));
    EXPECT_EQ(Call(so_dispid::DirectIO, {Long(1), LongRef(&data), BstrRef(&text)}), 106);
    EXPECT_EQ(data, 5);
    EXPECT_STREQ(text, L"in");
    SysFreeString(text);
}

TEST_F(Statistics, FirmwareAndStatisticsChangesAreRefusedOnAWorkingDevice) {
    ASSERT_NO_FATAL_FAILURE(Claim());
    ASSERT_NO_FATAL_FAILURE(Enable(true));
    Arg file(Text(L"C:\\firmware.bin"));
    long result = 77;
    EXPECT_EQ(Call(so_dispid::CompareFirmwareVersion, {file.v(), LongRef(&result)}), 106);
    EXPECT_EQ(result, 77);
    EXPECT_EQ(Call(so_dispid::UpdateFirmware, {file.v()}), 106);
    EXPECT_EQ(Call(so_dispid::UpdateStatistics, {file.v()}), 106);
    EXPECT_EQ(Call(so_dispid::ResetStatistics, {file.v()}), 106);
    EXPECT_EQ(ResultCode(so.get()), 106);
}

TEST_F(Statistics, RetrieveStatisticsReplacesWhateverTheCallerPassed) {
    ASSERT_NO_FATAL_FAILURE(Claim());
    ASSERT_NO_FATAL_FAILURE(Enable(true));
    const std::wstring expected = ExpectedDocument();

    std::wstring document = Retrieve();
    EXPECT_EQ(document, expected);
    EXPECT_EQ(ResultCode(so.get()), 0);

    BSTR none = nullptr;
    EXPECT_EQ(Call(so_dispid::RetrieveStatistics, {BstrRef(&none)}), 0);
    Bstr fromNull = Bstr::Attach(none);
    EXPECT_EQ(fromNull.view(), expected);
    EXPECT_EQ(SysStringLen(fromNull.get()), expected.size()) << "a BSTR of exactly the document's length";

    // As Visual Basic passes it: a reference to a VARIANT holding a string.
    Variant held = HeldText(L"old");
    EXPECT_EQ(Call(so_dispid::RetrieveStatistics, {VariantRef(held.get())}), 0);
    ASSERT_EQ(V_VT(held.get()), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(held.get()), SysStringLen(V_BSTR(held.get()))), expected);
}

// The document as MSXML reads it.
class ParsedDocument {
public:
    explicit ParsedDocument(const std::wstring& text) {
        for (const wchar_t* progId : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
            CLSID clsid;
            if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)) &&
                SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                           m_document.put_void()))) {
                break;
            }
        }
        if (!m_document) {
            ADD_FAILURE() << "no MSXML DOM document available";
            return;
        }
        m_document->put_async(VARIANT_FALSE);
        Bstr source(text);
        VARIANT_BOOL loaded = VARIANT_FALSE;
        HRESULT hr = m_document->loadXML(source.get(), &loaded);
        if (FAILED(hr) || loaded != VARIANT_TRUE) {
            ComPtr<IXMLDOMParseError> error;
            Bstr reason;
            if (SUCCEEDED(m_document->get_parseError(error.put())) && error) {
                error->get_reason(reason.put());
            }
            ADD_FAILURE() << "not well-formed: " << std::string(reason.view().begin(), reason.view().end());
            m_document.reset();
        }
    }
    ComPtr<IXMLDOMElement> Root() {
        ComPtr<IXMLDOMElement> root;
        if (m_document) {
            m_document->get_documentElement(root.put());
        }
        return root;
    }

private:
    ComPtr<IXMLDOMDocument> m_document;
};

std::wstring Name(IXMLDOMNode* node) {
    Bstr name;
    node->get_nodeName(name.put());
    return std::wstring(name.view());
}
std::wstring NamespaceOf(IXMLDOMNode* node) {
    Bstr uri;
    node->get_namespaceURI(uri.put());
    return std::wstring(uri.view());
}
std::wstring TextOf(IXMLDOMNode* node) {
    Bstr text;
    node->get_text(text.put());
    return std::wstring(text.view());
}

std::vector<ComPtr<IXMLDOMNode>> ChildElements(IXMLDOMNode* parent) {
    std::vector<ComPtr<IXMLDOMNode>> elements;
    ComPtr<IXMLDOMNodeList> children;
    long count = 0;
    if (FAILED(parent->get_childNodes(children.put())) || FAILED(children->get_length(&count))) {
        return elements;
    }
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        DOMNodeType type = NODE_INVALID;
        if (SUCCEEDED(children->get_item(i, child.put())) && SUCCEEDED(child->get_nodeType(&type))) {
            EXPECT_EQ(type, NODE_ELEMENT) << "only elements, no text between them, under " << Name(parent);
            elements.push_back(child);
        }
    }
    return elements;
}

std::vector<std::pair<std::wstring, std::wstring>> Attributes(IXMLDOMNode* node) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    ComPtr<IXMLDOMNamedNodeMap> map;
    long count = 0;
    if (FAILED(node->get_attributes(map.put())) || !map || FAILED(map->get_length(&count))) {
        return out;
    }
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> attribute;
        if (SUCCEEDED(map->get_item(i, attribute.put()))) {
            out.emplace_back(Name(attribute.get()), TextOf(attribute.get()));
        }
    }
    return out;
}

TEST_F(Statistics, DocumentIsWellFormedWithExactlyItsNamespacesAndPieces) {
    ASSERT_NO_FATAL_FAILURE(Claim());
    ASSERT_NO_FATAL_FAILURE(Enable(true));
    const std::wstring text = Retrieve();
    EXPECT_EQ(text.rfind(L"<?xml version='1.0' ?><UPOSStat ", 0), 0u);
    EXPECT_EQ(text.find_first_of(L"\r\n\t"), std::wstring::npos);
    EXPECT_EQ(text.find(L"> <"), std::wstring::npos);

    ParsedDocument document(text);
    ComPtr<IXMLDOMElement> rootElement = document.Root();
    ASSERT_TRUE(rootElement);
    ComPtr<IXMLDOMNode> root;
    ASSERT_EQ(rootElement->QueryInterface(IID_IXMLDOMNode, root.put_void()), S_OK);
    EXPECT_EQ(Name(root.get()), L"UPOSStat");
    EXPECT_EQ(NamespaceOf(root.get()), kIXRetailNamespace);
    // Attribute order and the default namespace declaration are the text's
    // business (checked above): parsers differ in how they list them.
    auto attribute = [&](const wchar_t* name) {
        Bstr attributeName(name);
        Variant value;
        rootElement->getAttribute(attributeName.get(), value.get());
        return V_VT(value.get()) == VT_BSTR ? std::wstring(V_BSTR(value.get())) : std::wstring(L"(missing)");
    };
    EXPECT_EQ(attribute(L"version"), L"1.11.0");
    EXPECT_EQ(attribute(L"xmlns:xsi"), kXsiNamespace);
    EXPECT_EQ(attribute(L"xsi:schemaLocation"), std::wstring(kIXRetailNamespace) + L" UPOSStat.xsd");
    ComPtr<IXMLDOMAttribute> schemaLocation;
    Bstr schemaLocationName(L"xsi:schemaLocation");
    ASSERT_EQ(rootElement->getAttributeNode(schemaLocationName.get(), schemaLocation.put()), S_OK);
    ComPtr<IXMLDOMNode> schemaLocationNode;
    ASSERT_EQ(schemaLocation->QueryInterface(IID_IXMLDOMNode, schemaLocationNode.put_void()), S_OK);
    EXPECT_EQ(NamespaceOf(schemaLocationNode.get()), kXsiNamespace) << "xsi is bound to the schema instance";
    for (const auto& [name, value] : Attributes(root.get())) {
        EXPECT_TRUE(name == L"version" || name == L"xmlns:xsi" || name == L"xmlns" ||
                    name == L"xsi:schemaLocation")
            << "unexpected attribute " << std::string(name.begin(), name.end());
    }

    auto top = ChildElements(root.get());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(Name(top[0].get()), L"Event");
    EXPECT_EQ(Name(top[1].get()), L"Equipment");

    auto parameters = ChildElements(top[0].get());
    ASSERT_EQ(parameters.size(), 1u);
    EXPECT_EQ(Name(parameters[0].get()), L"Parameter");
    auto parameter = ChildElements(parameters[0].get());
    ASSERT_EQ(parameter.size(), 2u);
    EXPECT_EQ(Name(parameter[0].get()), L"Name");
    EXPECT_EQ(TextOf(parameter[0].get()), L"RequestedStatistic");
    EXPECT_EQ(Name(parameter[1].get()), L"Value");
    EXPECT_EQ(TextOf(parameter[1].get()), L"");

    const std::vector<std::pair<std::wstring, std::wstring>> equipment = {
        {L"UnifiedPOSVersion", L"1.11"},
        {L"DeviceCategory", L""},
        {L"ManufacturerName", L"Veltrix Works"},
        {L"ModelName", L"Veltrix Works Cash Drawer"},
        {L"SerialNumber", L""},
        {L"FirmwareRevision", L"Unknown.Unknown"},
        {L"Interface", L"Unknown"},
        {L"InstallationDate", L""},
    };
    auto items = ChildElements(top[1].get());
    ASSERT_EQ(items.size(), equipment.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(Name(items[i].get()), equipment[i].first);
        EXPECT_EQ(TextOf(items[i].get()), equipment[i].second) << Name(items[i].get());
        // Every element is in the IXRetail namespace, declared once on the root.
        EXPECT_EQ(NamespaceOf(items[i].get()), kIXRetailNamespace);
    }
    EXPECT_EQ(Attributes(items[1].get()),
              (std::vector<std::pair<std::wstring, std::wstring>>{{L"UPOS", L"CashDrawer"}}));
}

} // namespace
} // namespace vtx::test
