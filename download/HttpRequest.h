// The two WinINet requests of the program: a GET into memory and a
// fire-and-forget request whose answer nobody reads.
#pragma once

#include "base/Buffer.h"

#include <cstdint>
#include <string>

namespace Velora {

// Answers without a Content-Length are read up to this many bytes; longer
// announced answers are refused.
constexpr uint32_t kMaxAnswerBytes = 0xA00000;

// Status 200 only. out holds the answer plus a terminating zero byte; size is
// the answer's length. No exception leaves it.
bool HttpGetToBuffer(const std::wstring& url, VLBuffer<unsigned char>& out, uint32_t& size);
// Blocks while it runs; true when the address could be opened.
bool RequestUrl(const std::string& ansiUrl);

} // namespace Velora
