// The WinINet requests of the program: a GET into memory or into a file, and
// a fire-and-forget request whose answer nobody reads.
#pragma once

#include "base/Buffer.h"
#include "base/PlainFile.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace Velora {

// Answers without a Content-Length are read up to this many bytes; longer
// announced answers are refused.
constexpr uint32_t kMaxAnswerBytes = 0xA00000;

// Status 200 only, after at most kMaxRedirects redirects. out holds the answer
// plus a terminating zero byte; size is the answer's length. Gives up when the
// answer's head takes longer than the head limit, when its body stalls for the
// idle limit, or soon after cancelled is set (download/WaitLimits.h). No
// exception leaves it.
bool HttpGetToBuffer(const std::wstring& url, VLBuffer<unsigned char>& out, uint32_t& size,
                     const std::atomic<bool>* cancelled = nullptr);
// The answer of any size into the plain file at path (base/PlainFile.h),
// created or emptied first and deleted again when the request fails; bounded
// as HttpGetToBuffer. The file is never shared for deleting: on success held
// has it open for reading, without write or delete sharing, holding the
// answer's bytes (an empty answer fails).
bool HttpGetToFile(const std::wstring& url, const std::wstring& path, const std::atomic<bool>* cancelled,
                   VLPlainFile& held);
// Blocks while it runs, at most the head limit and never long past a cancel;
// true when the address could be opened.
bool RequestUrl(const std::string& ansiUrl, const std::atomic<bool>* cancelled = nullptr);

} // namespace Velora
