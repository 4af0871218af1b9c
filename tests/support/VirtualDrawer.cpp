#include "VirtualDrawer.h"

#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace vtx::test {

namespace {
int EnvNumber(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        throw std::runtime_error(std::string(name) +
                                 " is not set: run the tests through ctest (the Wine harness)");
    }
    return std::atoi(value);
}
} // namespace

VirtualDrawer::VirtualDrawer() : VirtualDrawer(EnvNumber("VDRAWER_CONTROL_PORT"), EnvNumber("VDRAWER_COM")) {}

VirtualDrawer::VirtualDrawer(int port, int comNumber) : m_com(comNumber) {
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_socket == INVALID_SOCKET) {
        throw std::runtime_error("socket() failed");
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_socket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        closesocket(m_socket);
        throw std::runtime_error("cannot reach the virtual drawer on port " + std::to_string(port));
    }
    // A hung drawer must fail the test, not hang it.
    DWORD timeoutMs = 30000;
    setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof(timeoutMs));
}

VirtualDrawer::~VirtualDrawer() {
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
    }
}

std::string VirtualDrawer::Command(const std::string& line) {
    std::string out = line + "\n";
    if (send(m_socket, out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size())) {
        return "ERR SEND";
    }
    for (;;) {
        size_t eol = m_pending.find('\n');
        if (eol != std::string::npos) {
            std::string reply = m_pending.substr(0, eol);
            m_pending.erase(0, eol + 1);
            if (!reply.empty() && reply.back() == '\r') {
                reply.pop_back();
            }
            return reply;
        }
        char buffer[512];
        int got = recv(m_socket, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            return "ERR RECV";
        }
        m_pending.append(buffer, static_cast<size_t>(got));
    }
}

std::string VirtualDrawer::Expect(const std::string& line) {
    std::string reply = Command(line);
    EXPECT_EQ(reply.rfind("OK", 0), 0u) << "virtual drawer refused \"" << line << "\": " << reply;
    return reply;
}

std::string VirtualDrawer::Received() {
    std::string reply = Expect("RX");
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

} // namespace vtx::test
