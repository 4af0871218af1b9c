// Appends numbered lines to a trace log, so a test can run several writers at once.
//   tracewriter FILE COUNT TAG
// Or COUNT traced calls on DEVICE through the service object DLL, left queued, then ExitProcess:
//   tracewriter FILE COUNT --exit DLL DEVICE
#include "ServiceObject.h"
#include "module/ModuleIds.h"
#include "trace/TraceLog.h"

#include <cwchar>
#include <string>
#include <thread>

namespace {

void ExitWithLinesQueued(long count, const wchar_t* dll, const wchar_t* device) {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(dll), "DllGetClassObject")));
    vtx::ComPtr<IClassFactory> factory;
    vtx::ComPtr<IDispatch> so;
    if (get == nullptr || FAILED(get(vtx::CLSID_CashDrawerServed, IID_IClassFactory, factory.put_void())) ||
        FAILED(factory->CreateInstance(nullptr, IID_IDispatch, so.put_void()))) {
        return;
    }
    vtx::test::OpenService(so.get(), device, nullptr);
    Sleep(200); // the writer takes OpenService's line and waits for the mutex with it
    for (long i = 0; i < count; ++i) {
        vtx::test::CallLong(so.get(), vtx::so_dispid::GetPropertyNumber, {vtx::test::Long(1000 + i)});
    }
    ExitProcess(0);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const long count = argc >= 4 ? std::wcstol(argv[2], nullptr, 10) : 0;
    if (argc == 6 && std::wcscmp(argv[3], L"--exit") == 0) {
        // The main thread holds the mutex until the end of the process abandons it.
        CreateMutexW(nullptr, TRUE, vtx::TraceMutexName(argv[1]).c_str());
        std::thread(ExitWithLinesQueued, count, argv[4], argv[5]).join();
        return 3;
    }
    if (argc != 4) {
        return 2;
    }
    vtx::TraceSettings settings;
    settings.level = vtx::kTraceWire;
    settings.file = argv[1];
    settings.maxBytes = 64ull * 1024 * 1024;
    vtx::CTraceLog log;
    log.Configure(settings, argv[3]);
    // Long enough that a torn append would show.
    const std::string padding(200, '.');
    for (long i = 0; i < count; ++i) {
        log.Log(vtx::kTraceFailures, "line %ld %s end", i, padding.c_str());
        log.Flush(60000); // one append per line, as many chances to tear one as there are
    }
    return 0;
}
