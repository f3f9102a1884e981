#include "tests/support/WebSeedServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Velora::Test {

namespace {

bool SendAll(SOCKET socket, const char* data, size_t size)
{
    while (size > 0) {
        const int sent = send(socket, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

WebSeedServer::WebSeedServer(std::string path, std::string payload)
    : path_(std::move(path)), payload_(std::move(payload))
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (listener_ == INVALID_SOCKET ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

WebSeedServer::~WebSeedServer()
{
    stopping_ = true;
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (acceptor_.joinable()) acceptor_.join();
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (SOCKET client : clients_) shutdown(client, SD_BOTH);
    }
    for (std::thread& worker : workers_) worker.join();
    for (SOCKET client : clients_) closesocket(client);
    WSACleanup();
}

std::string WebSeedServer::Url() const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path_;
}

void WebSeedServer::AcceptLoop()
{
    while (!stopping_) {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        std::lock_guard<std::mutex> guard(lock_);
        clients_.push_back(client);
        workers_.emplace_back([this, client] { Serve(client); });
    }
}

void WebSeedServer::Serve(SOCKET client)
{
    std::string buffer;
    char block[4096];
    while (!stopping_) {
        const size_t end = buffer.find("\r\n\r\n");
        if (end != std::string::npos) {
            const std::string header = buffer.substr(0, end + 4);
            buffer.erase(0, end + 4);
            if (!Answer(client, header)) return;
            continue;
        }
        const int got = recv(client, block, sizeof(block), 0);
        if (got <= 0) return;
        buffer.append(block, static_cast<size_t>(got));
    }
}

bool WebSeedServer::Answer(SOCKET client, const std::string& header)
{
    ++requests_;
    char path[2048] = {};
    if (sscanf(header.c_str(), "GET %2047s HTTP/1.", path) != 1 || path_ != path) {
        const char notFound[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
        return SendAll(client, notFound, sizeof(notFound) - 1);
    }
    uint64_t first = 0;
    uint64_t last = payload_.empty() ? 0 : payload_.size() - 1;
    bool ranged = false;
    const std::string lower = Lower(header);
    const size_t range = lower.find("\r\nrange: bytes=");
    if (range != std::string::npos) {
        unsigned long long a = 0, b = 0;
        if (sscanf(lower.c_str() + range + 15, "%llu-%llu", &a, &b) == 2 && a <= b &&
            b < payload_.size()) {
            first = a;
            last = b;
            ranged = true;
        }
    }
    char head[512];
    const uint64_t length = payload_.empty() ? 0 : last - first + 1;
    if (ranged)
        snprintf(head, sizeof(head),
                 "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes %llu-%llu/%llu\r\n"
                 "Content-Length: %llu\r\nConnection: keep-alive\r\n\r\n",
                 (unsigned long long)first, (unsigned long long)last,
                 (unsigned long long)payload_.size(), (unsigned long long)length);
    else
        snprintf(head, sizeof(head),
                 "HTTP/1.1 200 OK\r\nContent-Length: %llu\r\nConnection: keep-alive\r\n\r\n",
                 (unsigned long long)length);
    return SendAll(client, head, strlen(head)) &&
           SendAll(client, payload_.data() + first, static_cast<size_t>(length));
}

} // namespace Velora::Test
