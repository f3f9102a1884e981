#include <winsock2.h>

#include "download/HttpWire.h"

#include "base/TextConvert.h"
#include "base/Thread.h"
#include "download/WaitLimits.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Velora {

namespace {

constexpr size_t kRequestBlock = 4096;
// How often a waiting send or receive looks for an abort.
constexpr uint32_t kWaitStepMs = 100;

// Digits only, at most maxDigits of them.
bool ParseDigits(const std::string& text, size_t maxDigits, uint64_t& value)
{
    if (text.empty() || text.size() > maxDigits) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + uint64_t(c - '0');
    }
    return true;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool EqualNoCase(const std::string& a, const char* b)
{
    return _stricmp(a.c_str(), b) == 0;
}

// Readable (or closed by the peer), or writable, within timeoutMs.
bool WaitReady(SOCKET socket, bool forWrite, uint32_t timeoutMs)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket, &ready);
    timeval limit{long(timeoutMs / 1000), long(timeoutMs % 1000) * 1000};
    return select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, nullptr, &limit) > 0;
}

// A connect that does not block has ended within timeoutMs, well or not:
// Winsock reports a failed one as an exception, not as writable.
bool WaitConnected(SOCKET socket, uint32_t timeoutMs, int& error)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval limit{long(timeoutMs / 1000), long(timeoutMs % 1000) * 1000};
    if (select(0, nullptr, &writable, &failed, &limit) <= 0) return false;
    int length = sizeof(error);
    error = 0;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
        error = WSAGetLastError();
    }
    if (error == 0 && FD_ISSET(socket, &failed)) error = WSAECONNREFUSED;
    return true;
}

// What is left of limitMs since start, at most one wait step.
uint32_t NextStep(ULONGLONG start, uint32_t limitMs)
{
    const ULONGLONG spent = GetTickCount64() - start;
    return spent >= limitMs ? 0 : uint32_t(std::min<ULONGLONG>(kWaitStepMs, limitMs - spent));
}

// A host name's first IPv4 address, looked up on a thread of its own.
struct VLNameLookup {
    std::string name;
    // Written by the lookup's thread, read once it has ended.
    bool found = false;
    in_addr address{};
};

void LookUp(VLNameLookup& lookup)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(lookup.name.c_str(), nullptr, &hints, &result) != 0 || !result) return;
    lookup.address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    lookup.found = true;
    freeaddrinfo(result);
}

} // namespace

void CloseSocket(uintptr_t socket)
{
    closesocket(SOCKET(socket));
}

bool StartWinsock()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool SplitUrl(const std::wstring& url, std::wstring& host, std::wstring& path, uint16_t& port)
{
    size_t begin = url.find(L"://");
    begin = begin == std::wstring::npos ? 0 : begin + 3;
    const size_t slash = url.find(L'/', begin);
    if (slash == std::wstring::npos) return false;
    std::wstring hostPart = url.substr(begin, slash - begin);
    uint16_t hostPort = 80;
    const size_t colon = hostPart.find(L':');
    if (colon != std::wstring::npos) {
        uint64_t number = 0;
        const std::string digits = ToMultiByte(hostPart.substr(colon + 1));
        if (!ParseDigits(digits, 5, number) || number == 0 || number > 65535) return false;
        hostPort = static_cast<uint16_t>(number);
        hostPart.resize(colon);
    }
    std::wstring pathPart = url.substr(slash);
    if (hostPart.empty() || hostPart.size() > kMaxHostChars || pathPart.size() > kMaxUrlPathChars) {
        return false;
    }
    host = hostPart;
    path = pathPart;
    port = hostPort;
    return true;
}

std::string BuildRequest(const std::wstring& host, uint16_t port, const std::wstring& path,
                         const VLByteRange* range)
{
    const std::string narrowHost = ToMultiByte(host);
    std::string request = "GET " + ToMultiByte(path) + " HTTP/1.1\r\n";
    request += "Host: " + narrowHost;
    if (port != 80) request += ":" + std::to_string(port);
    request += "\r\n";
    request += "Accept: */*\r\n";
    request += "Pragma: no-cache\r\n";
    request += "Cache-Control: no-cache\r\n";
    request += "User-Agent:  Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; march1.0)\r\n";
    request += "Referer: http://" + narrowHost + "\r\n";
    request += "Connection: Keep-Alive\r\n";
    if (range) {
        char line[80];
        std::snprintf(line, sizeof(line), "Range: bytes=%llu-%llu\r\n",
                      static_cast<unsigned long long>(range->first),
                      static_cast<unsigned long long>(range->last));
        request += line;
    }
    request += "\r\n";
    if (request.size() >= kRequestBlock) return std::string();
    return request;
}

VLConnection::~VLConnection()
{
    Close();
}

bool VLConnection::Connect(const std::wstring& host, uint16_t port)
{
    if (!StartWinsock()) return false;
    // The name lookup is part of connecting and shares its bound. A resolver
    // that never answers cannot be woken: its thread is left to it at the
    // bound or on an abort.
    const uint32_t limit = GetWaitLimits().connectMs;
    const ULONGLONG start = GetTickCount64();
    const auto lookup = std::make_shared<VLNameLookup>();
    lookup->name = ToMultiByte(host);
    if (!RunAbandonable(lookup, &LookUp, [&] { return aborted_ || GetTickCount64() - start >= limit; }) ||
        !lookup->found) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr = lookup->address;

    SOCKET s;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (aborted_ || socket_.Valid()) return false;
        s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return false;
        socket_.Reset(s);
    }
    const DWORD timeout = kIdleLimitMs;
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    // A blocking connect to a host that never answers would wait as long as
    // the system likes and no abort could end it.
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    for (uint32_t step; !aborted_ && (step = NextStep(start, limit)) > 0;) {
        int error = 0;
        if (WaitConnected(s, step, error)) return error == 0 && !aborted_;
    }
    return false;
}

bool VLConnection::SendAll(const std::string& bytes)
{
    if (bytes.empty()) return false;
    const uint32_t limit = GetWaitLimits().idleMs;
    size_t sent = 0;
    for (ULONGLONG start = GetTickCount64(); sent < bytes.size();) {
        if (aborted_) return false;
        const int n = send(socket_.Get(), bytes.data() + sent, int(bytes.size() - sent), 0);
        if (n > 0) {
            sent += size_t(n);
            start = GetTickCount64();
            continue;
        }
        if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return false;
        const uint32_t step = NextStep(start, limit);
        if (step == 0) return false;
        WaitReady(socket_.Get(), true, step);
    }
    return true;
}

bool WaitReadable(uintptr_t socket, uint32_t timeoutMs)
{
    return WaitReady(SOCKET(socket), false, timeoutMs);
}

int VLConnection::Receive(char* buffer, int size)
{
    return Receive(buffer, size, GetWaitLimits().idleMs);
}

int VLConnection::Receive(char* buffer, int size, uint32_t limitMs)
{
    // The socket does not block: a wait happens only when nothing has arrived
    // yet, in short steps that notice an abort. A busy transfer thus costs one
    // call per block instead of a wait and a call.
    for (const ULONGLONG start = GetTickCount64();;) {
        if (aborted_) return -1;
        const int n = recv(socket_.Get(), buffer, size, 0);
        if (n >= 0) return aborted_ ? -1 : n;
        if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
        const uint32_t step = NextStep(start, limitMs);
        if (step == 0) return -1;
        WaitReady(socket_.Get(), false, step);
    }
}

void VLConnection::Abort()
{
    std::lock_guard<std::mutex> guard(lock_);
    aborted_ = true;
    if (socket_.Valid()) shutdown(socket_.Get(), SD_BOTH);
}

void VLConnection::Close()
{
    std::lock_guard<std::mutex> guard(lock_);
    socket_.Reset();
}

bool ParseResponseHead(const std::string& head, VLResponseHead& out)
{
    VLResponseHead parsed;
    size_t lineEnd = head.find("\r\n");
    if (lineEnd == std::string::npos) return false;
    const std::string statusLine = head.substr(0, lineEnd);
    // "HTTP/1.x NNN reason"
    if (statusLine.compare(0, 5, "HTTP/") != 0) return false;
    const size_t blank = statusLine.find(' ');
    uint64_t status = 0;
    if (blank == std::string::npos || !ParseDigits(statusLine.substr(blank + 1, 3), 3, status)) {
        return false;
    }
    parsed.status = int(status);

    size_t start = lineEnd + 2;
    while ((lineEnd = head.find("\r\n", start)) != std::string::npos && lineEnd > start) {
        const std::string line = head.substr(start, lineEnd - start);
        start = lineEnd + 2;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = Trim(line.substr(0, colon));
        const std::string value = Trim(line.substr(colon + 1));
        if (EqualNoCase(name, "Content-Length")) {
            if (!ParseDigits(value, 19, parsed.contentLength)) return false;
            parsed.hasLength = true;
        } else if (EqualNoCase(name, "Content-Range")) {
            // "bytes first-last/total"
            if (value.compare(0, 6, "bytes ") != 0) return false;
            const size_t dash = value.find('-', 6);
            const size_t slash = value.find('/', 6);
            if (dash == std::string::npos || slash == std::string::npos || slash < dash) return false;
            if (!ParseDigits(value.substr(6, dash - 6), 19, parsed.rangeFirst) ||
                !ParseDigits(value.substr(dash + 1, slash - dash - 1), 19, parsed.rangeLast) ||
                !ParseDigits(value.substr(slash + 1), 19, parsed.rangeTotal)) {
                return false;
            }
            parsed.hasRange = true;
        }
    }
    out = parsed;
    return true;
}

bool ReadResponseHead(VLConnection& connection, size_t limit, std::string& head,
                      std::string& bodyStart)
{
    // One bound for the whole block: a server that trickles it a byte at a
    // time never lets a single receive wait long.
    const uint32_t headMs = GetWaitLimits().headMs;
    const ULONGLONG start = GetTickCount64();
    std::string received;
    char block[4096];
    for (;;) {
        const size_t end = received.find("\r\n\r\n");
        if (end != std::string::npos && end + 4 <= limit) {
            head = received.substr(0, end + 4);
            bodyStart = received.substr(end + 4);
            return true;
        }
        const ULONGLONG spent = GetTickCount64() - start;
        if (received.size() >= limit || spent >= headMs) return false;
        const int n = connection.Receive(block, sizeof(block), uint32_t(headMs - spent));
        if (n <= 0) return false;
        received.append(block, size_t(n));
    }
}

} // namespace Velora
