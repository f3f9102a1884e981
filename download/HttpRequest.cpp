#include "download/HttpRequest.h"

#include "base/UniqueHandle.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <new>

namespace Velora {

namespace {

// One WinINet handle (session or request).
using VLInternetHandle = VLUniqueHandle<HINTERNET, &InternetCloseHandle>;

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

} // namespace

bool HttpGetToBuffer(const std::wstring& url, VLBuffer<unsigned char>& out, uint32_t& size)
{
    VLInternetHandle session(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.Get()) return false;
    SetConnectLimits(session.Get());
    VLInternetHandle request(InternetOpenUrlW(session.Get(), url.c_str(), nullptr, 0,
                                              INTERNET_FLAG_KEEP_CONNECTION, 0));
    if (!request.Get()) return false;

    DWORD status = 0;
    if (!QueryNumber(request.Get(), HTTP_QUERY_STATUS_CODE, status) || status != 200) return false;

    DWORD length = 0;
    bool lengthKnown = true;
    if (!QueryNumber(request.Get(), HTTP_QUERY_CONTENT_LENGTH, length)) {
        if (GetLastError() != ERROR_HTTP_HEADER_NOT_FOUND) return false;
        lengthKnown = false;
        length = kMaxAnswerBytes;
    }
    // An announced length beyond the cap is refused rather than trusted: the
    // buffer size below must not wrap.
    if (length == 0 || length > kMaxAnswerBytes) return false;

    try {
        out.size = 0;
        out.SetCapacity(length + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!out.data) return false;
    std::memset(out.data, 0, length + 1);

    DWORD received = 0;
    int emptyReads = 0;
    while (received < length) {
        DWORD piece = 0;
        const DWORD want = length - received < 4096 ? length - received : 4096;
        if (!InternetReadFile(request.Get(), out.data + received, want, &piece)) piece = 0;
        if (piece == 0) {
            if (!lengthKnown || ++emptyReads > 3) break;
            Sleep(10);
            continue;
        }
        received += piece;
    }
    if (lengthKnown && received != length) return false;
    out.size = received;
    size = received;
    return true;
}

bool RequestUrl(const std::string& ansiUrl)
{
    VLInternetHandle session(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.Get()) return false;
    SetConnectLimits(session.Get());
    VLInternetHandle request(InternetOpenUrlA(session.Get(), ansiUrl.c_str(), nullptr, 0,
                                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    return request.Get() != nullptr;
}

} // namespace Velora
