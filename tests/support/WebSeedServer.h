// A web seed on 127.0.0.1: serves one payload at one path, with byte ranges,
// keep-alive and pipelined requests, the way the engine fetches from it.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Velora::Test {

class WebSeedServer {
public:
    // path starts with '/'; other paths are answered 404.
    WebSeedServer(std::string path, std::string payload);
    ~WebSeedServer();
    WebSeedServer(const WebSeedServer&) = delete;
    WebSeedServer& operator=(const WebSeedServer&) = delete;

    bool Started() const { return port_ != 0; }
    std::string Url() const;
    int Requests() const { return requests_; }

private:
    void AcceptLoop();
    void Serve(SOCKET client);
    bool Answer(SOCKET client, const std::string& header);

    std::string path_;
    std::string payload_;
    SOCKET listener_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    std::mutex lock_;
    std::vector<SOCKET> clients_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

} // namespace Velora::Test
