// The statistics document's text: the equipment's fields in the IXRetail namespace, no statistic.
#include "service/StatisticsDocument.h"

namespace vtx {

namespace {
constexpr wchar_t kIXRetailNamespace[] = L"http://www.nrf-arts.org/IXRetail/namespace/";
}

std::wstring StatisticsDocument() {
    std::wstring doc = L"<?xml version='1.0' ?>";
    doc += L"<UPOSStat version=\"1.11.0\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns=\"";
    doc += kIXRetailNamespace;
    doc += L"\" xsi:schemaLocation=\"";
    doc += kIXRetailNamespace;
    doc += L" UPOSStat.xsd\">";
    doc += L"<Event><Parameter><Name>RequestedStatistic</Name><Value></Value></Parameter></Event>";
    doc += L"<Equipment>"
           L"<UnifiedPOSVersion>1.11</UnifiedPOSVersion>"
           L"<DeviceCategory UPOS=\"CashDrawer\"/>"
           L"<ManufacturerName>Veltrix Works</ManufacturerName>"
           L"<ModelName>Veltrix Works Cash Drawer</ModelName>"
           L"<SerialNumber></SerialNumber>"
           L"<FirmwareRevision>Unknown.Unknown</FirmwareRevision>"
           L"<Interface>Unknown</Interface>"
           L"<InstallationDate></InstallationDate>"
           L"</Equipment>";
    doc += L"</UPOSStat>";
    return doc;
}

} // namespace vtx
