// Every test runs in a loopback-only network namespace whose hosts file maps
// the service host to 127.0.0.1. These checks make a run outside it fail
// before anything could leave the machine.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

class SandboxTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa_)); }
    void TearDown() override { WSACleanup(); }
    WSADATA wsa_;
};

std::vector<std::string> NonLoopbackAddresses()
{
    ULONG size = 16 * 1024;
    std::vector<unsigned char> block(size);
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(block.data());
    if (GetAdaptersAddresses(AF_INET, 0, nullptr, first, &size) == ERROR_BUFFER_OVERFLOW) {
        block.resize(size);
        first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(block.data());
        if (GetAdaptersAddresses(AF_INET, 0, nullptr, first, &size) != NO_ERROR)
            return {"(adapter list unreadable)"};
    }
    std::vector<std::string> found;
    for (auto* adapter = first; adapter; adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            auto* in = reinterpret_cast<sockaddr_in*>(unicast->Address.lpSockaddr);
            if ((ntohl(in->sin_addr.s_addr) >> 24) != 127)
                found.push_back(inet_ntoa(in->sin_addr));
        }
    }
    return found;
}

TEST_F(SandboxTest, OnlyLoopbackIsReachable)
{
    const auto addresses = NonLoopbackAddresses();
    ASSERT_TRUE(addresses.empty()) << "not in the loopback-only sandbox: " << addresses.front();

    // A documentation address (TEST-NET-1): with no route the connect fails at
    // once instead of timing out.
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(INVALID_SOCKET, s);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(80);
    to.sin_addr.s_addr = inet_addr("192.0.2.1");
    EXPECT_EQ(SOCKET_ERROR, connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)));
    EXPECT_EQ(WSAENETUNREACH, WSAGetLastError());
    closesocket(s);
}

TEST_F(SandboxTest, ServiceHostResolvesToLoopback)
{
    char host[256] = {};
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, VL_SERVICE_HOST, -1, host, sizeof(host), nullptr, nullptr), 0);
    hostent* entry = gethostbyname(host);
    ASSERT_NE(nullptr, entry) << host;
    in_addr address;
    memcpy(&address, entry->h_addr_list[0], sizeof(address));
    EXPECT_STREQ("127.0.0.1", inet_ntoa(address));
}

TEST(Environment, AnsiCodePageIsSimplifiedChinese)
{
    // Our users' machines run code page 936; the texts and paths we convert
    // are tested under the same one.
    EXPECT_EQ(936u, GetACP());
}

} // namespace
