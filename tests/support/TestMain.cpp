// Test programs run as a Control Object's application thread would: a
// single-threaded apartment, with Winsock up for the virtual drawer.
#include <winsock2.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 3;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        return 4;
    }
    int rc = RUN_ALL_TESTS();
    WSACleanup();
    CoUninitialize();
    return rc;
}
