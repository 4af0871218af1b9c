// Test programs run as a Control Object's application thread would: a
// single-threaded apartment, with Winsock up for the virtual drawer.
#include <winsock2.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // A test program that ends before its first test must say why.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        std::fprintf(stderr, "CoInitializeEx failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 3;
    }
    WSADATA wsa;
    if (const int error = WSAStartup(MAKEWORD(2, 2), &wsa); error != 0) {
        std::fprintf(stderr, "WSAStartup failed: %d\n", error);
        return 4;
    }
    int rc = RUN_ALL_TESTS();
    WSACleanup();
    CoUninitialize();
    return rc;
}
