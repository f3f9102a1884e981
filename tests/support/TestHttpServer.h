// An HTTP/1.1 server on 127.0.0.1 inside the test process: serves byte
// strings by exact request target (query included), honours single byte
// ranges, keeps connections alive, logs every request's raw header block, and
// misbehaves on request.
#pragma once

#include "download/HttpWire.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Velora {

struct VLServerFaults {
    bool stall = false;              // read the request, never answer
    uint64_t cutAfter = 0;           // body bytes of a range answer before it is cut (0: never)
    bool holdOnCut = false;          // keep a cut connection open instead of closing it
    int cutLimit = -1;               // how many range answers are cut; -1 every one
    bool wholeBodyForRange = false;  // 200 with the whole file to a range request
    uint32_t headByteMs = 0;         // header block sent one byte per send, this many ms apart (0: at once)
    size_t stallAfterHeadBytes = 0;  // header bytes sent before the answer stalls (0: never)
    bool rangesOnly = false;         // the stalls and the trickle hit range requests only, not the probe
    int64_t lengthDelta = 0;         // added to every Content-Length
    size_t trailingBytes = 0;        // junk sent after each range answer's body
    std::string notFoundPrefix;      // targets starting with this answer 404
    uint32_t throttle = 0;           // bytes per second per connection (0: no limit)
    bool omitLength = false;         // no Content-Length; the connection closes after the body
};

struct VLLoggedRequest {
    std::string head;   // raw, up to and including the empty line
    std::string target;
    bool hasRange = false;
    uint64_t first = 0;
    uint64_t last = 0;  // inclusive; UINT64_MAX for an open range
};

class VLTestHttpServer {
public:
    VLTestHttpServer();
    ~VLTestHttpServer();
    VLTestHttpServer(const VLTestHttpServer&) = delete;
    VLTestHttpServer& operator=(const VLTestHttpServer&) = delete;

    // Port 0 picks a free one.
    bool Start(uint16_t port = 0);
    void Stop();
    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port><target>"
    std::string Url(const std::string& target) const;

    // A target ending in '?' answers every query of its path (a tracker's
    // announces).
    void SetFile(const std::string& target, const std::string& body);
    // Requests for target get a 302 to location.
    void SetRedirect(const std::string& target, const std::string& location);
    void SetFaults(const VLServerFaults& faults);
    std::vector<VLLoggedRequest> Requests();
    // Requests for the target, with and without a range.
    int CountRequests(const std::string& target);
    int CountRangeRequests(const std::string& target);

private:
    struct Client;
    void AcceptLoop();
    void Serve(std::shared_ptr<Client> client);
    void ServeRequests(Client& client);
    bool Answer(Client& client, const VLLoggedRequest& request);
    bool SendBytes(Client& client, const char* data, size_t size, uint32_t byteMs = 0);
    bool SendBody(Client& client, const char* data, size_t size, uint64_t cutAfter, bool& cut);
    void HoldUntilStopped();
    bool Stopping();

    VLSocket listener_;
    uint16_t port_ = 0;
    std::thread acceptThread_;
    std::mutex lock_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    // Shared with the answers being sent: a request copies no body.
    std::map<std::string, std::shared_ptr<const std::string>> files_;
    std::map<std::string, std::string> redirects_;
    VLServerFaults faults_;
    int cutsDone_ = 0;
    std::vector<VLLoggedRequest> log_;
    std::vector<std::shared_ptr<Client>> clients_;
    std::vector<std::thread> workers_;
};

} // namespace Velora
