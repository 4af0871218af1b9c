#pragma once
// The benchmarks' shared entry: COM on this thread, sockets for the virtual
// drawer's control channel, and the run count from the command line.
#include <winsock2.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace vtx::bench {

// Runs body(count) and returns its exit code; 2 for a bad count.
template <class Body> int BenchMain(int argc, char** argv, const char* name, int defaultCount, Body body) {
    int count = argc > 1 ? std::atoi(argv[1]) : defaultCount;
    if (count <= 0) {
        std::fprintf(stderr, "usage: %s [COUNT]\n", name);
        return 2;
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int rc = 1;
    try {
        rc = body(count);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    }
    CoUninitialize();
    WSACleanup();
    return rc;
}

} // namespace vtx::bench
