// File-system helpers over wide paths. Failures answer false, an empty string
// or (DeleteTree) a smaller count; no Windows error code is kept.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

// Existence tests first drop surrounding quotes and trailing separators.
bool PathExists(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

// Clears the read-only attribute and deletes; the path is used as given.
bool DeleteFileForce(const std::wstring& path);
// Resets all attributes and deletes.
bool DeleteFileNormal(const std::wstring& path);
// Removes the folder and everything below it and answers the number of entries
// removed. Each entry goes through a handle found to be that very entry
// (base/PlainFile.h): links (junctions, symbolic links) inside are removed
// themselves where the system opens a link as itself, else left, and never
// followed. Moves the current folder out of the way when it is inside.
uint64_t DeleteTree(const std::wstring& folder);
// The same for a tree in a folder others can write, through the path as
// given and never where it leads: nothing goes when the folder or one above
// it is a link, and each folder below is judged plain before it is entered.
uint64_t DeletePlainTree(const std::wstring& folder);
// Creates every missing folder along the path.
bool CreateDirectories(const std::wstring& path);

bool GetWindowsDir(std::wstring& out);
// The Windows folder the system itself runs from, the same for every user
// and whatever the environment says.
bool GetSystemWindowsDir(std::wstring& out);
bool GetSystemDir(std::wstring& out);
// The long form of the temporary folder, with its trailing '\'.
bool GetTempDir(std::wstring& out);
bool GetCurrentDir(std::wstring& out);
// fileIndex: where the file part of the full path begins (its length when the
// path names a folder with a trailing separator).
bool GetFullPath(const std::wstring& path, std::wstring& out, size_t& fileIndex);
std::wstring GetFullPathFileName(const std::wstring& path);
std::wstring GetFullPathFolder(const std::wstring& path);
// Whether the steps of tail, which ends path, name what they say: a step
// holding '~' may be the short (8.3) name of a file whose own name is
// another, so it passes only when the file exists and the system's long form
// of path ends in the same steps (letters in any case).
bool EndsInLongNames(const std::wstring& path, const std::wstring& tail);
// ".exe" with the dot; empty when the last component has none.
std::wstring GetFileExtension(const std::wstring& path);
std::wstring GetFileName(const std::wstring& path);
std::wstring GetModuleFilePath();

bool MoveFileSimple(const std::wstring& source, const std::wstring& target);
// Note the order: target first. When a plain replacing move is refused, the
// old target is moved aside, the source moved in, and the old target deleted;
// on failure the old target is put back.
bool MoveFileReplace(const std::wstring& target, const std::wstring& source);
// Replaces path by "base(n).ext" for the first n from 1 that does not exist.
bool MakeUniqueFileName(std::wstring& path);
bool NumberedNameExists(std::wstring& out, const std::wstring& base, uint32_t number,
                        const std::wstring& extension);
// Null times are left as they are; works on folders too.
bool SetFileTimes(const std::wstring& path, const FILETIME* creation, const FILETIME* access,
                  const FILETIME* write);
// Creates (or truncates) the file and sets its length; leaves no file on failure.
// Only a plain file (base/PlainFile.h): nothing a link leads to is made or cut.
bool CreateSizedFile(const std::wstring& path, uint64_t size);
bool IsSparseFile(HANDLE file);
// True unless the file is known to be one allocated range, which tells whether
// parts of a sparse download were never written. True when it cannot be told.
bool HasAllocationGaps(HANDLE file);

// Appends the pieces between separators (empty ones included, none after a
// trailing separator) to pieces, which is not cleared.
void Split(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& pieces);
// Splits at blanks outside double quotes; quotes stay in the arguments.
void SplitCommandLine(const std::wstring& text, std::vector<std::wstring>& arguments);

} // namespace Velora
