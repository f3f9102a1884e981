#include <winsock2.h>

#include "tests/support/TestHttpServer.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace Velora {

struct VLTestHttpServer::Client {
    VLSocket socket;
};

namespace {

bool ParseRangeHeader(const std::string& head, uint64_t& first, uint64_t& last)
{
    const char* key = "\r\nRange: bytes=";
    const size_t at = head.find(key);
    if (at == std::string::npos) return false;
    const char* p = head.c_str() + at + std::strlen(key);
    char* end = nullptr;
    first = std::strtoull(p, &end, 10);
    if (end == p || *end != '-') return false;
    p = end + 1;
    last = std::strtoull(p, &end, 10);
    if (end == p) last = UINT64_MAX;
    return true;
}

} // namespace

VLTestHttpServer::VLTestHttpServer() = default;

VLTestHttpServer::~VLTestHttpServer()
{
    Stop();
}

bool VLTestHttpServer::Start(uint16_t port)
{
    if (!StartWinsock()) return false;
    listener_.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener_.Valid()) return false;
    // The service port is reused by one test after another.
    BOOL reuse = TRUE;
    setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener_.Get(), 64) != 0) {
        listener_.Reset();
        return false;
    }
    int length = sizeof(address);
    getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    stopping_ = false;
    acceptThread_ = std::thread(&VLTestHttpServer::AcceptLoop, this);
    return true;
}

void VLTestHttpServer::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_ || !acceptThread_.joinable()) return;
        stopping_ = true;
        for (auto& client : clients_) {
            if (client->socket.Valid()) shutdown(client->socket.Get(), SD_BOTH);
        }
    }
    stopped_.notify_all();
    acceptThread_.join();
    listener_.Reset();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) worker.join();
    clients_.clear();
}

std::string VLTestHttpServer::Url(const std::string& target) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

void VLTestHttpServer::SetFile(const std::string& target, const std::string& body)
{
    std::lock_guard<std::mutex> guard(lock_);
    files_[target] = std::make_shared<const std::string>(body);
}

void VLTestHttpServer::SetRedirect(const std::string& target, const std::string& location)
{
    std::lock_guard<std::mutex> guard(lock_);
    redirects_[target] = location;
}

void VLTestHttpServer::SetFaults(const VLServerFaults& faults)
{
    std::lock_guard<std::mutex> guard(lock_);
    faults_ = faults;
    cutsDone_ = 0;
}

std::vector<VLLoggedRequest> VLTestHttpServer::Requests()
{
    std::lock_guard<std::mutex> guard(lock_);
    return log_;
}

int VLTestHttpServer::CountRequests(const std::string& target)
{
    std::lock_guard<std::mutex> guard(lock_);
    return int(std::count_if(log_.begin(), log_.end(),
                             [&](const VLLoggedRequest& r) { return r.target == target; }));
}

int VLTestHttpServer::CountRangeRequests(const std::string& target)
{
    std::lock_guard<std::mutex> guard(lock_);
    return int(std::count_if(log_.begin(), log_.end(),
                             [&](const VLLoggedRequest& r) { return r.target == target && r.hasRange; }));
}

bool VLTestHttpServer::Stopping()
{
    std::lock_guard<std::mutex> guard(lock_);
    return stopping_;
}

// Sockets are polled in short steps: under Wine neither closing nor shutting
// down a socket wakes a thread blocked on it.
void VLTestHttpServer::AcceptLoop()
{
    for (;;) {
        if (!WaitReadable(listener_.Get(), 100)) {
            if (Stopping()) return;
            continue;
        }
        const SOCKET accepted = accept(listener_.Get(), nullptr, nullptr);
        std::lock_guard<std::mutex> guard(lock_);
        if (accepted == INVALID_SOCKET || stopping_) {
            if (accepted != INVALID_SOCKET) closesocket(accepted);
            if (stopping_) return;
            continue;
        }
        auto client = std::make_shared<Client>();
        client->socket.Reset(accepted);
        clients_.push_back(client);
        workers_.emplace_back(&VLTestHttpServer::Serve, this, client);
    }
}

void VLTestHttpServer::Serve(std::shared_ptr<Client> client)
{
    ServeRequests(*client);
    // The end of the answer for a client reading until the connection closes.
    std::lock_guard<std::mutex> guard(lock_);
    client->socket.Reset();
}

void VLTestHttpServer::ServeRequests(Client& client)
{
    std::string pending;
    char block[4096];
    for (;;) {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            if (!WaitReadable(client.socket.Get(), 100)) {
                if (Stopping()) return;
                continue;
            }
            const int n = recv(client.socket.Get(), block, sizeof(block), 0);
            if (n <= 0) return;
            pending.append(block, size_t(n));
        }
        VLLoggedRequest request;
        request.head = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        const size_t targetStart = request.head.find(' ');
        const size_t targetEnd = request.head.find(' ', targetStart + 1);
        if (targetStart == std::string::npos || targetEnd == std::string::npos) return;
        request.target = request.head.substr(targetStart + 1, targetEnd - targetStart - 1);
        request.hasRange = ParseRangeHeader(request.head, request.first, request.last);
        {
            std::lock_guard<std::mutex> guard(lock_);
            log_.push_back(request);
        }
        if (!Answer(client, request)) return;
    }
}

bool VLTestHttpServer::Answer(Client& client, const VLLoggedRequest& request)
{
    VLServerFaults faults;
    std::shared_ptr<const std::string> held;
    std::string location;
    bool found;
    {
        std::lock_guard<std::mutex> guard(lock_);
        faults = faults_;
        auto file = files_.find(request.target);
        if (file == files_.end()) file = files_.find(request.target.substr(0, request.target.find('?') + 1));
        found = file != files_.end();
        if (found) held = file->second;
        auto redirect = redirects_.find(request.target);
        if (redirect != redirects_.end()) location = redirect->second;
    }
    static const std::string none;
    const std::string& body = held ? *held : none;
    if (faults.rangesOnly && !request.hasRange) {
        faults.stall = false;
        faults.stallAfterHeadBytes = 0;
        faults.headByteMs = 0;
    }
    if (faults.stall) {
        HoldUntilStopped();
        return false;
    }
    if (!location.empty()) {
        const std::string answer = "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n";
        return SendBytes(client, answer.data(), answer.size());
    }
    const bool notFound = !found || (!faults.notFoundPrefix.empty() &&
                                     request.target.compare(0, faults.notFoundPrefix.size(), faults.notFoundPrefix) == 0);
    if (notFound) {
        const std::string answer = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found";
        return SendBytes(client, answer.data(), answer.size());
    }

    std::string head;
    size_t offset = 0;
    size_t length = body.size();
    const bool asRange = request.hasRange && !faults.wholeBodyForRange;
    if (asRange) {
        const uint64_t last = std::min<uint64_t>(request.last, body.empty() ? 0 : body.size() - 1);
        if (request.first >= body.size() || request.first > last) {
            const std::string answer = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n";
            return SendBytes(client, answer.data(), answer.size());
        }
        offset = size_t(request.first);
        length = size_t(last - request.first + 1);
        head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(request.first) + "-" +
               std::to_string(last) + "/" + std::to_string(body.size()) + "\r\n";
    } else {
        head = "HTTP/1.1 200 OK\r\n";
    }
    head += "Content-Type: application/octet-stream\r\n";
    if (faults.omitLength) {
        head += "Connection: close\r\n";
    } else {
        head += "Content-Length: " + std::to_string(int64_t(length) + faults.lengthDelta) + "\r\n";
        head += "Connection: keep-alive\r\n";
    }
    head += "\r\n";
    if (faults.stallAfterHeadBytes) {
        SendBytes(client, head.data(), std::min(faults.stallAfterHeadBytes, head.size()), faults.headByteMs);
        HoldUntilStopped();
        return false;
    }
    if (!SendBytes(client, head.data(), head.size(), faults.headByteMs)) return false;

    uint64_t cutAfter = 0;
    if (request.hasRange && faults.cutAfter) {
        std::lock_guard<std::mutex> guard(lock_);
        if (faults.cutLimit < 0 || cutsDone_ < faults.cutLimit) {
            ++cutsDone_;
            cutAfter = faults.cutAfter;
        }
    }
    bool cut = false;
    if (!SendBody(client, body.data() + offset, length, cutAfter, cut)) return false;
    if (cut) {
        if (faults.holdOnCut) HoldUntilStopped();
        return false;
    }
    if (asRange && faults.trailingBytes) {
        const std::string junk(faults.trailingBytes, '\x5A');
        if (!SendBytes(client, junk.data(), junk.size())) return false;
    }
    return !faults.omitLength;
}

bool VLTestHttpServer::SendBytes(Client& client, const char* data, size_t size, uint32_t byteMs)
{
    size_t sent = 0;
    while (sent < size) {
        const int piece = byteMs ? 1 : int(std::min<size_t>(size - sent, 65536));
        const int n = send(client.socket.Get(), data + sent, piece, 0);
        if (n <= 0) return false;
        sent += size_t(n);
        // One byte per segment: the peer really sees the header arrive in pieces.
        if (byteMs) {
            if (Stopping()) return false;
            Sleep(byteMs);
        }
    }
    return true;
}

bool VLTestHttpServer::SendBody(Client& client, const char* data, size_t size, uint64_t cutAfter, bool& cut)
{
    uint32_t throttle;
    {
        std::lock_guard<std::mutex> guard(lock_);
        throttle = faults_.throttle;
    }
    const size_t stop = cutAfter && cutAfter < size ? size_t(cutAfter) : size;
    cut = stop < size;
    // A throttled connection sends a tenth of its rate every 100 ms.
    const size_t step = throttle ? std::max<size_t>(throttle / 10, 1) : 65536;
    for (size_t sent = 0; sent < stop;) {
        const size_t piece = std::min(step, stop - sent);
        if (!SendBytes(client, data + sent, piece)) return false;
        sent += piece;
        if (throttle) Sleep(100);
    }
    return true;
}

void VLTestHttpServer::HoldUntilStopped()
{
    std::unique_lock<std::mutex> guard(lock_);
    stopped_.wait(guard, [this] { return stopping_; });
}

} // namespace Velora
