// Text at the border between the program (narrow text in the system code
// page) and the engine (UTF-8).
#pragma once

#include <windows.h>

#include <libtorrent/sha1_hash.hpp>

#include <string>

namespace Velora {

std::string AcpToUtf8(const std::string& text);
std::string Utf8ToAcp(const std::string& text);
// The 40 lower-case hexadecimal digits that name a torrent copy.
std::string InfoHashHex(const lt::sha1_hash& hash);

} // namespace Velora
