#include "base/FolderScope.h"

#include "base/PathUtil.h"
#include "base/StringUtil.h"

#include <cwchar>
#include <vector>

namespace Velora {

namespace {

bool IsPlainStep(const std::wstring& step)
{
    if (step.back() == L'.' || step.back() == L' ' || IsDeviceName(step)) return false;
    for (wchar_t c : step)
        if (c < 0x20 || std::wcschr(L":*?\"<>|", c)) return false;
    return true;
}

// Splits what follows the root into steps, applying "." and "..".
bool AppendSteps(const std::wstring& rest, std::vector<std::wstring>& steps)
{
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos) end = rest.size();
        const std::wstring step = rest.substr(start, end - start);
        start = end + 1;
        if (step.empty() || step == L".") continue;
        if (step == L"..") {
            if (steps.empty()) return false;
            steps.pop_back();
        } else if (!IsPlainStep(step)) {
            return false;
        } else {
            steps.push_back(step);
        }
    }
    return true;
}

} // namespace

bool GetNormalFullPath(const std::wstring& path, std::wstring& out)
{
    std::wstring text(path);
    NormalizePath(text, kPathBackslashes);
    if (StartsWithNoCase(text, L"\\\\?\\UNC\\"))
        text.replace(0, 8, L"\\\\");
    else if (StartsWith(text, L"\\\\?\\"))
        text.erase(0, 4);

    std::wstring root, rest;
    if (StartsWith(text, L"\\\\")) {
        // "\\server\share" is the root: two plain names, never climbed out of.
        const size_t server = text.find(L'\\', 2);
        const size_t share = server == std::wstring::npos ? server : text.find(L'\\', server + 1);
        if (server == std::wstring::npos) return false;
        const std::wstring serverName = text.substr(2, server - 2);
        const std::wstring shareName = text.substr(server + 1, share == std::wstring::npos ? share : share - server - 1);
        for (const std::wstring* name : {&serverName, &shareName})
            if (!IsSafeEntryName(*name) || !IsPlainStep(*name)) return false;
        root = L"\\\\" + serverName + L"\\" + shareName;
        if (share != std::wstring::npos) rest = text.substr(share + 1);
    } else if (text.size() >= 2 && (text[0] | 0x20) >= L'a' && (text[0] | 0x20) <= L'z' && text[1] == L':' &&
               (text.size() == 2 || text[2] == L'\\')) {
        root = text.substr(0, 2);
        rest = text.substr(2);
    } else {
        return false;
    }
    std::vector<std::wstring> steps;
    if (!AppendSteps(rest, steps)) return false;
    out = root;
    for (const std::wstring& step : steps) out += L"\\" + step;
    return true;
}

VLFolderScope::VLFolderScope(const std::wstring& folder)
{
    if (!GetNormalFullPath(folder, folder_)) folder_.clear();
}

bool VLFolderScope::IsFolder(const std::wstring& path) const
{
    std::wstring normal;
    return !folder_.empty() && GetNormalFullPath(path, normal) && CompareNoCase(normal, folder_) == 0;
}

bool VLFolderScope::Below(const std::wstring& path, std::wstring& rest) const
{
    std::wstring normal;
    if (folder_.empty() || !GetNormalFullPath(path, normal) || normal.size() <= folder_.size() + 1 ||
        normal[folder_.size()] != L'\\' || CompareNoCase(normal.substr(0, folder_.size()), folder_) != 0)
        return false;
    rest = normal.substr(folder_.size() + 1);
    return true;
}

bool VLFolderScope::Holds(const std::wstring& path, std::wstring* entry) const
{
    std::wstring rest;
    if (!Below(path, rest)) return false;
    if (entry) *entry = rest.substr(0, rest.find(L'\\'));
    return true;
}

bool VLFolderScope::HoldsEntry(const std::wstring& path, std::wstring* name) const
{
    std::wstring rest;
    if (!Below(path, rest) || rest.find(L'\\') != std::wstring::npos) return false;
    if (name) *name = rest;
    return true;
}

} // namespace Velora
