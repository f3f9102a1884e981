#include <winsock2.h>

#include "download/HttpWire.h"

#include "tests/download/DownloadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace Velora {
namespace {

// A connection that cannot be made, aborted from another thread 300 ms in:
// the milliseconds from the abort until Connect gave up.
DWORD ConnectAbortedAfter300ms(const wchar_t* host, uint16_t port)
{
    VLConnection connection;
    std::atomic<DWORD> aborted{0};
    std::thread aborter([&] {
        Sleep(300);
        aborted = GetTickCount();
        connection.Abort();
    });
    EXPECT_FALSE(connection.Connect(host, port));
    const DWORD returned = GetTickCount();
    aborter.join();
    return returned - aborted;
}

struct SplitCase {
    const wchar_t* url;
    bool ok;
    const wchar_t* host;
    const wchar_t* path;
    uint16_t port;
};

TEST(SplitUrl, HostPortAndPath)
{
    const std::wstring longHost(1024, L'h');
    const SplitCase cases[] = {
        {L"http://dl.example/pkg/a.exe", true, L"dl.example", L"/pkg/a.exe", 80},
        {L"http://dl.example:8080/a.exe?x=1&y=2", true, L"dl.example", L"/a.exe?x=1&y=2", 8080},
        {L"dl.example/a", true, L"dl.example", L"/a", 80},
        {L"http://dl.example", false, L"", L"", 0},
        {L"http://dl.example:/a", false, L"", L"", 0},
        {L"http://dl.example:65536/a", false, L"", L"", 0},
        {L"http://dl.example:123456/a", false, L"", L"", 0},
        {L"http://dl.example:8o/a", false, L"", L"", 0},
        {L"http:///a", false, L"", L"", 0},
    };
    for (const auto& c : cases) {
        std::wstring host, path;
        uint16_t port = 0;
        ASSERT_EQ(c.ok, SplitUrl(c.url, host, path, port)) << c.url;
        if (!c.ok) continue;
        EXPECT_EQ(c.host, host);
        EXPECT_EQ(c.path, path);
        EXPECT_EQ(c.port, port);
    }
    std::wstring host, path;
    uint16_t port = 0;
    EXPECT_FALSE(SplitUrl(L"http://" + longHost + L"/a", host, path, port));
    EXPECT_FALSE(SplitUrl(L"http://h/" + std::wstring(1023, L'p'), host, path, port));
    EXPECT_TRUE(SplitUrl(L"http://h/" + std::wstring(1022, L'p'), host, path, port));
}

TEST(BuildRequest, ExactBytes)
{
    const std::string common =
        "Accept: */*\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n"
        "User-Agent:  Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; march1.0)\r\n";
    EXPECT_EQ("GET /f/a.exe?v=1 HTTP/1.1\r\nHost: dl.example\r\n" + common +
                  "Referer: http://dl.example\r\nConnection: Keep-Alive\r\n\r\n",
              BuildRequest(L"dl.example", 80, L"/f/a.exe?v=1", nullptr));
    const VLByteRange range{1500000, 3000000};
    EXPECT_EQ("GET /a HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n" + common +
                  "Referer: http://127.0.0.1\r\nConnection: Keep-Alive\r\nRange: bytes=1500000-3000000\r\n\r\n",
              BuildRequest(L"127.0.0.1", 8080, L"/a", &range));
    // Host and path within their limits can still be too long in the code
    // page (two bytes per character here): refused rather than cut.
    EXPECT_EQ("", BuildRequest(std::wstring(1023, L'\x4E2D'), 80, L"/" + std::wstring(1022, L'\x4E2D'), &range));
}

TEST(VLConnection, ConnectToAListenerThatNeverAcceptsIsBoundedAndAbortable)
{
    // A listener whose queue is full leaves further connection attempts
    // unanswered.
    ASSERT_TRUE(StartWinsock());
    VLSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    ASSERT_EQ(0, bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    ASSERT_EQ(0, listen(listener.Get(), 0));
    ASSERT_EQ(0, getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length));
    const uint16_t port = ntohs(address.sin_port);
    ShortWaitLimits limits;
    std::vector<std::unique_ptr<VLConnection>> queued;
    DWORD took = 0;
    for (int i = 0; i < 8 && took < 1000; ++i) {
        queued.emplace_back(new VLConnection);
        const DWORD started = GetTickCount();
        queued.back()->Connect(L"127.0.0.1", port);
        took = GetTickCount() - started;
    }
    ASSERT_GE(took, 1000u) << "every attempt was answered";
    EXPECT_LT(took, 2000u + 1000u);

    EXPECT_LT(ConnectAbortedAfter300ms(L"127.0.0.1", port), 1000u);
}

// lookup-stall.sh points the resolver at a loopback port that reads the
// queries and never answers; without it this case is skipped.
TEST(VLConnection, ANameLookupThatNeverAnswersIsBoundedAndAbortable)
{
    if (!std::getenv("VL_SILENT_RESOLVER")) GTEST_SKIP() << "run through lookup-stall.sh";
    ShortWaitLimits limits;
    VLConnection bounded;
    const DWORD started = GetTickCount();
    EXPECT_FALSE(bounded.Connect(L"never.answers.example", 80));
    const DWORD took = GetTickCount() - started;
    EXPECT_GE(took, 1900u) << "the lookup did not wait for the resolver";
    EXPECT_LT(took, 2000u + 1000u);

    EXPECT_LT(ConnectAbortedAfter300ms(L"never.answers.example", 80), 1000u);
}

struct HeadCase {
    const char* head;
    bool ok;
    int status;
    bool hasLength;
    uint64_t length;
    bool hasRange;
    uint64_t first, last, total;
};

TEST(ParseResponseHead, StatusLengthAndRange)
{
    const HeadCase cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 42\r\n\r\n", true, 200, true, 42, false, 0, 0, 0},
        {"HTTP/1.1 206 Partial Content\r\ncontent-range: bytes 5-9/100\r\nCONTENT-LENGTH:5\r\n\r\n", true, 206,
         true, 5, true, 5, 9, 100},
        {"HTTP/1.0 404 Not Found\r\n\r\n", true, 404, false, 0, false, 0, 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 4x\r\n\r\n", false, 0, false, 0, false, 0, 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12345678901234567890\r\n\r\n", false, 0, false, 0, false, 0, 0, 0},
        {"HTTP/1.1 206 OK\r\nContent-Range: bytes */100\r\n\r\n", false, 0, false, 0, false, 0, 0, 0},
        {"ICY 200 OK\r\n\r\n", false, 0, false, 0, false, 0, 0, 0},
        {"HTTP/1.1 2x0 OK\r\n\r\n", false, 0, false, 0, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        VLResponseHead head;
        ASSERT_EQ(c.ok, ParseResponseHead(c.head, head)) << c.head;
        if (!c.ok) continue;
        EXPECT_EQ(c.status, head.status);
        EXPECT_EQ(c.hasLength, head.hasLength);
        EXPECT_EQ(c.length, head.contentLength);
        EXPECT_EQ(c.hasRange, head.hasRange);
        EXPECT_EQ(c.first, head.rangeFirst);
        EXPECT_EQ(c.last, head.rangeLast);
        EXPECT_EQ(c.total, head.rangeTotal);
    }
}

} // namespace
} // namespace Velora
