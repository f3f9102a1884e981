// Path strings: normalising, joining, parents and quoting. These work on the
// text alone and never touch the file system.
#pragma once

#include <string>

namespace Velora {

// NormalizePath flags, applied in the order listed whatever order they are
// combined in.
enum : unsigned {
    kPathLowerCase = 0x1,
    kPathUpperCase = 0x2,
    kPathStripQuotes = 0x4,           // only when both ends are quotes
    kPathOneTrailingSeparator = 0x10, // exactly one '\' at the end (none on "")
    kPathNoTrailingSeparator = 0x20,
    kPathBackslashes = 0x40000000,    // every '/' becomes '\'
};
// The usual form before asking the file system about a path.
constexpr unsigned kPathPlain = kPathStripQuotes | kPathNoTrailingSeparator;

void NormalizePath(std::wstring& path, unsigned flags);
// "\\server...", "C:" or "C:\..." (also "C:/...").
bool IsAbsolutePath(const std::wstring& path);
// An absolute path is returned as it is, so this never confines a path to the
// folder: callers with untrusted paths must check them first.
std::wstring CombinePath(const std::wstring& folder, const std::wstring& path);
// Up to and including the last '\' ('/' is not a separator here); the whole
// path when it has none.
// One name that stays inside the folder it is joined to: not empty, no '\',
// '/', ':' or NUL, and not made only of dots and spaces (Windows drops a
// name's trailing dots and spaces, so "...", ". " and ".." alike would name
// the folder itself or its parent).
bool IsSafeEntryName(const std::wstring& name);
// A name the system takes for a device in every folder, with or without an
// extension and blanks before it: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1
// to COM9, LPT1 to LPT9.
bool IsDeviceName(const std::wstring& name);
// A path that names the same place whatever the current folder is: a drive
// and its root ("C:\\..." or "C:/...") or a share ("\\\\server\\share...").
// Drive-relative ("C:x"), rooted ("\\x"), relative and device ("\\\\.\\",
// "\\\\?\\") paths are not.
bool IsFullPath(const std::wstring& path);
// A full path whose last step can name a file: not a device (however it is
// written, "C:\\x\\NUL.txt" included), not empty, "." or "..".
bool IsFullFilePath(const std::wstring& path);
// A relative path below its folder: no root, and every step a safe entry name
// (empty steps, as in "a\\b", are passed over).
bool IsSafeRelativePath(const std::wstring& path);
// The same folder whatever the case of the letters and however many
// separators end either path ('/' counts as one).
bool IsSameFolder(const std::wstring& a, const std::wstring& b);
std::wstring GetParentPath(const std::wstring& path);
std::wstring GetGrandParentPath(const std::wstring& path);
std::wstring Quote(const std::wstring& text);
std::wstring PrependQuote(const std::wstring& text);
std::wstring AppendChar(const std::wstring& text, wchar_t c);
std::wstring QuoteChar();

} // namespace Velora
