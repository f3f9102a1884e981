#include "download/HttpRequest.h"

#include "base/Handles.h"
#include "base/Md5.h"
#include "base/PlainFile.h"
#include "base/TextConvert.h"
#include "base/Thread.h"
#include "base/UniqueHandle.h"
#include "download/WaitLimits.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace Velora {

namespace {

// One WinINet handle (session, connection or request).
using VLInternetHandle = VLUniqueHandle<HINTERNET, &InternetCloseHandle>;

// One request and what came of it. WinINet waits on the network inside its
// calls, and under Wine nothing (not even closing its handles) wakes such a
// call: the request runs on a thread of its own, shared with the caller, who
// waits only as long as the bounds allow and may leave the rest to it.
struct VLInternetExchange {
    std::wstring url;
    DWORD flags = 0;
    bool readBody = false;
    // The body goes into this file when one is given, else into body.
    VLHandle file;
    std::atomic<bool> headDone{false};
    std::atomic<bool> abandoned{false};
    // Written by the request's thread, read by the caller once it has ended.
    bool succeeded = false;
    VLBuffer<unsigned char> body;
};

// The service is often slow to accept but quick to answer: a short connect
// time-out with a few retries.
void SetConnectLimits(HINTERNET session)
{
    DWORD timeout = 2000;
    DWORD retries = 3;
    InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(session, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof(retries));
}

bool QueryNumber(HINTERNET request, DWORD what, DWORD& value)
{
    DWORD length = sizeof(value);
    return HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &length, nullptr) != FALSE;
}

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Sends a GET for url on a connection of its own. The send and receive
// time-outs are the idle limit: WinINet's own default waits for a silent
// server without end, and it takes them only from the connection's handle.
bool SendGet(HINTERNET session, const std::wstring& url, DWORD flags, VLInternetHandle& connection,
             VLInternetHandle& request)
{
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                          std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";
    // The previous hop's request goes first: closing a connection closes its
    // requests too, and a freed handle value may come back for the new one.
    request.Reset();
    connection.Reset(InternetConnectW(session, host.c_str(), parts.nPort, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return false;
    DWORD idle = GetWaitLimits().idleMs;
    InternetSetOptionW(connection.Get(), INTERNET_OPTION_SEND_TIMEOUT, &idle, sizeof(idle));
    InternetSetOptionW(connection.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &idle, sizeof(idle));
    // Redirects are followed here, not by WinINet, which would follow one
    // that points back at itself for ever.
    flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    request.Reset(HttpOpenRequestW(connection.Get(), L"GET", object.c_str(), nullptr, nullptr, nullptr, flags, 0));
    return request && HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0);
}

// The redirect's target, resolved against the address that answered.
bool RedirectTarget(HINTERNET request, std::wstring& url)
{
    wchar_t location[INTERNET_MAX_URL_LENGTH];
    DWORD length = sizeof(location);
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &length, nullptr)) return false;
    wchar_t combined[INTERNET_MAX_URL_LENGTH];
    DWORD chars = INTERNET_MAX_URL_LENGTH;
    if (!InternetCombineUrlW(url.c_str(), location, combined, &chars, 0)) return false;
    url = combined;
    return true;
}

// Reads the answer in pieces, handing each to keep(bytes, count), until limit
// bytes came or the server ended it; with exact set, all limit bytes must
// come. A caller that gave up wants nothing more: the thread then ends at the
// next piece instead of reading on.
template <typename Keep>
bool ReadPieces(VLInternetExchange& exchange, HINTERNET request, uint64_t limit, bool exact, Keep keep)
{
    unsigned char piece[4096];
    uint64_t received = 0;
    int emptyReads = 0;
    while (received < limit && !exchange.abandoned) {
        DWORD count = 0;
        const DWORD want = DWORD(std::min<uint64_t>(sizeof(piece), limit - received));
        if (!InternetReadFile(request, piece, want, &count)) count = 0;
        if (count == 0) {
            if (!exact || ++emptyReads > 3) break;
            Sleep(10);
            continue;
        }
        if (!keep(piece, count)) return false;
        received += count;
    }
    return !exchange.abandoned && (!exact || received == limit);
}

// Reads the answer as announced: a known length whole, an unknown one up to
// the cap.
bool ReadBody(VLInternetExchange& exchange, HINTERNET request)
{
    DWORD length = 0;
    bool lengthKnown = true;
    if (!QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, length)) {
        if (GetLastError() != ERROR_HTTP_HEADER_NOT_FOUND) return false;
        lengthKnown = false;
        length = kMaxAnswerBytes;
    }
    // An announced length beyond the cap is refused rather than trusted: the
    // buffer size below must not wrap.
    if (length == 0 || length > kMaxAnswerBytes) return false;

    VLBuffer<unsigned char>& out = exchange.body;
    try {
        out.SetCapacity(length + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!out.data) return false;
    std::memset(out.data, 0, length + 1);
    out.size = 0;
    return ReadPieces(exchange, request, length, lengthKnown, [&](const unsigned char* bytes, DWORD count) {
        std::memcpy(out.data + out.size, bytes, count);
        out.size += count;
        return true;
    });
}

// Writes the answer into the exchange's file as it comes, of any size; a
// known length must arrive whole.
bool SaveBody(VLInternetExchange& exchange, HINTERNET request)
{
    DWORD length = 0;
    const bool lengthKnown = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, length);
    return ReadPieces(exchange, request, lengthKnown ? length : UINT64_MAX, lengthKnown,
                      [&](const unsigned char* bytes, DWORD count) {
                          DWORD written = 0;
                          return WriteFile(exchange.file.Get(), bytes, count, &written, nullptr) && written == count;
                      });
}

bool Perform(VLInternetExchange& exchange)
{
    VLInternetHandle session(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return false;
    SetConnectLimits(session.Get());
    VLInternetHandle connection;
    VLInternetHandle request;
    std::wstring url = exchange.url;
    DWORD status = 0;
    for (int redirects = 0;; ++redirects) {
        if (exchange.abandoned || !SendGet(session.Get(), url, exchange.flags, connection, request) ||
            !QueryNumber(request.Get(), HTTP_QUERY_STATUS_CODE, status)) {
            return false;
        }
        if (!IsRedirect(status)) break;
        if (redirects == kMaxRedirects || !RedirectTarget(request.Get(), url)) return false;
    }
    exchange.headDone = true;
    if (!exchange.readBody) return true;
    if (status != 200) return false;
    return exchange.file ? SaveBody(exchange, request.Get()) : ReadBody(exchange, request.Get());
}

void RunExchange(VLInternetExchange& exchange)
{
    exchange.succeeded = Perform(exchange);
}

// Runs the exchange and waits for it: until the head limit for the answer's
// head, then without limit for a body that keeps coming (WinINet ends one that
// stalls for the idle limit), and never past a cancel.
bool RunBounded(const std::shared_ptr<VLInternetExchange>& exchange, const std::atomic<bool>* cancelled)
{
    const ULONGLONG headDeadline = GetTickCount64() + GetWaitLimits().headMs;
    const bool ended = RunAbandonable(exchange, &RunExchange, [&] {
        return (cancelled && *cancelled) || (!exchange->headDone && GetTickCount64() >= headDeadline);
    });
    if (ended) return exchange->succeeded;
    exchange->abandoned = true;
    return false;
}

// A GET of url; the body into out or file when either is given. No exception
// leaves it.
bool Request(const std::wstring& url, DWORD flags, VLBuffer<unsigned char>* out, VLHandle* file,
             const std::atomic<bool>* cancelled)
{
    try {
        const auto exchange = std::make_shared<VLInternetExchange>();
        exchange->url = url;
        exchange->flags = flags;
        exchange->readBody = out || file;
        if (file) exchange->file = std::move(*file);
        if (!RunBounded(exchange, cancelled)) return false;
        if (out) {
            VLBuffer<unsigned char>& body = exchange->body;
            std::swap(out->data, body.data);
            std::swap(out->capacity, body.capacity);
            std::swap(out->size, body.size);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace

bool HttpGetToBuffer(const std::wstring& url, VLBuffer<unsigned char>& out, uint32_t& size,
                     const std::atomic<bool>* cancelled)
{
    if (!Request(url, INTERNET_FLAG_KEEP_CONNECTION, &out, nullptr, cancelled)) return false;
    size = out.size;
    return true;
}

bool HttpGetToFile(const std::wstring& url, const std::wstring& path, const std::atomic<bool>* cancelled,
                   VLPlainFile& held)
{
    // Made as itself (the folder is one every user can write), then opened
    // again for the download: a handle that made the file holds the right to
    // delete it, beside which no reader could deny deleting. The writer
    // shares only reading, so nobody writes, moves or deletes the file while
    // the body comes.
    VLPlainFile file;
    VLHandle body;
    if (!file.Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS) || !file.file.Close() ||
        !file.Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS) ||
        !DuplicateHandle(GetCurrentProcess(), file.file.handle.Get(), GetCurrentProcess(), body.Put(), 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return false;
    if (!Request(url, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, nullptr, &body, cancelled)) {
        // A request given up on still holds the body's handle; its file is
        // then left to the next download of the name, which empties it.
        file.file.Close();
        DeletePlainFile(path);
        return false;
    }
    // The reader comes before the writer goes, and shares no deleting, so
    // the name stays this file's to the end. Between the writer and the held
    // handle another program could still write: the bytes held must be the
    // bytes that came.
    VLPlainFile reader;
    uint8_t came[16], kept[16];
    if (!reader.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING) ||
        !Md5File(file.file, came) || !file.file.Close() ||
        !held.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) || !Md5File(held.file, kept) ||
        std::memcmp(came, kept, sizeof(came)) != 0) {
        held.file.handle.Reset();
        return false;
    }
    return true;
}

bool RequestUrl(const std::string& ansiUrl, const std::atomic<bool>* cancelled)
{
    return Request(MultiByteToWide(ansiUrl.c_str(), int(ansiUrl.size())),
                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, nullptr, nullptr, cancelled);
}

} // namespace Velora
