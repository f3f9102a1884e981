// The installed DirectX version: from the DirectX diagnostic provider, or
// from the versions of the system folder's DirectX libraries when that fails.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace Velora {

// S_OK or E_FAIL; letter is lower case, or a blank when there is none.
HRESULT GetDirectXVersion(uint32_t& major, uint32_t& minor, wchar_t& letter);
// S_OK only when major, minor and letter were all read.
HRESULT GetDirectXVersionViaDxDiag(uint32_t& major, uint32_t& minor, wchar_t& letter);
// Always S_OK; 0.0 when nothing is found.
HRESULT GetDirectXVersionViaFiles(uint32_t& major, uint32_t& minor, wchar_t& letter);
// The same over the libraries of the given folder.
void GetDirectXVersionFromFolder(const std::wstring& systemDir, uint32_t& major, uint32_t& minor,
                                 wchar_t& letter);

// Raises major and minor to the numbers of a "DirectX 11.1" style text when
// they are greater; the rest of the text is ignored.
void ApplyDirectXLongVersion(const std::wstring& text, uint32_t& major, uint32_t& minor);

// Product version: the most significant dword in the high 32 bits.
HRESULT GetFileVersion64(const std::wstring& path, uint64_t* version);
int CompareVersion64(uint64_t a, uint64_t b);

} // namespace Velora
