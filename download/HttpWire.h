// The downloader's own HTTP/1.1 over raw sockets: URL splitting, the request
// bytes, one breakable connection, and reading a response's header block.
#pragma once

#include "base/UniqueHandle.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace Velora {

// Field limits of the resume state file; longer parts are refused, never cut.
constexpr size_t kMaxHostChars = 1023;
constexpr size_t kMaxUrlPathChars = 1023;

// "scheme://host[:port]/path?query"; the port stays 80 unless named.
bool SplitUrl(const std::wstring& url, std::wstring& host, std::wstring& path, uint16_t& port);

struct VLByteRange {
    uint64_t first;
    uint64_t last; // inclusive
};

// The request text; range is null for a size probe. Empty when it would not
// fit the 4096-byte request block.
std::string BuildRequest(const std::wstring& host, uint16_t port, const std::wstring& path,
                         const VLByteRange* range);

// closesocket for a SOCKET kept out of this header's includes.
void CloseSocket(uintptr_t socket);
// One socket handle, closed when it goes out of scope.
using VLSocket = VLUniqueHandle<uintptr_t, &CloseSocket, -1>;

// Winsock 2.2 for the whole process, started once.
bool StartWinsock();

// True when the socket has something to read within timeoutMs (or was closed
// by the peer); false on a time-out or an error.
bool WaitReadable(uintptr_t socket, uint32_t timeoutMs);

// A TCP connection that another thread may break off at any moment (Abort).
// The socket never blocks; a connect, send or receive that has to wait does
// so in short steps and notices the abort between them: a shutdown from
// another thread does not wake a blocked recv everywhere. Each wait is bounded
// (download/WaitLimits.h). The socket itself is closed only by the destructor
// or Close, after the user is done with it.
class VLConnection {
public:
    VLConnection() = default;
    ~VLConnection();
    VLConnection(const VLConnection&) = delete;
    VLConnection& operator=(const VLConnection&) = delete;

    bool Connect(const std::wstring& host, uint16_t port);
    bool SendAll(const std::string& bytes);
    // As recv: bytes received, 0 when the peer closed, negative on an error
    // or when nothing came within limitMs (the idle limit without it).
    int Receive(char* buffer, int size);
    int Receive(char* buffer, int size, uint32_t limitMs);
    void Abort();
    void Close();

private:
    std::mutex lock_;
    VLSocket socket_;
    std::atomic<bool> aborted_{false};
};

struct VLResponseHead {
    int status = 0;
    bool hasLength = false;
    uint64_t contentLength = 0;
    bool hasRange = false;
    uint64_t rangeFirst = 0;
    uint64_t rangeLast = 0;
    uint64_t rangeTotal = 0;
};

// Parses a header block (status line to the empty line). Header names are
// compared without regard to case; numbers must be plain bounded digits.
bool ParseResponseHead(const std::string& head, VLResponseHead& out);

// Receives until the empty line that ends the header block, at most limit
// bytes of header and within the head limit; bytes after it are the body's
// start.
bool ReadResponseHead(VLConnection& connection, size_t limit, std::string& head,
                      std::string& bodyStart);

} // namespace Velora
