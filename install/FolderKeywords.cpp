#include "install/FolderKeywords.h"

#include "base/PathUtil.h"
#include "base/StringUtil.h"

#include <windows.h>
#include <shlobj.h>

#include <mutex>

namespace Velora {

namespace {

struct BuiltInKeyword {
    const wchar_t* keyword;
    int id;
};

// In the order the special folders are loaded.
const BuiltInKeyword kBuiltInKeywords[] = {
    {L"program_files", CSIDL_PROGRAM_FILES},
    {L"common_program_files", CSIDL_PROGRAM_FILES_COMMON},
    {L"system_driver", kFolderSystemDrive},
    {L"windows", CSIDL_WINDOWS},
    {L"fonts", CSIDL_FONTS},
    {L"cookies", CSIDL_COOKIES},
    {L"all_users", kFolderAllUsersProfile},
    {L"all_appdata", CSIDL_COMMON_APPDATA},
    {L"all_programs_menu", CSIDL_COMMON_PROGRAMS},
    {L"all_docs", CSIDL_COMMON_DOCUMENTS},
    {L"all_desktop", CSIDL_COMMON_DESKTOPDIRECTORY},
    {L"all_menu", CSIDL_COMMON_STARTMENU},
    {L"all_startup", CSIDL_COMMON_STARTUP},
    {L"all_favorites", CSIDL_COMMON_FAVORITES},
    {L"my_user", CSIDL_PROFILE},
    {L"my_appdata", CSIDL_APPDATA},
    {L"my_desktop", CSIDL_DESKTOPDIRECTORY},
    {L"my_favorites", CSIDL_FAVORITES},
    {L"my_doc", CSIDL_PERSONAL},
    {L"my_menu", CSIDL_STARTMENU},
    {L"my_programs_menu", CSIDL_PROGRAMS},
    {L"my_startup", CSIDL_STARTUP},
    {L"my_local_appdata", CSIDL_LOCAL_APPDATA},
};

// Shared by every keyword table of the process; a table may be built on any
// thread that starts an install.
std::mutex specialFolderLock;
std::map<int, std::wstring>& SpecialFolderMap()
{
    static std::map<int, std::wstring> map;
    return map;
}

} // namespace

void LoadSpecialFolders()
{
    std::lock_guard<std::mutex> lock(specialFolderLock);
    std::map<int, std::wstring>& map = SpecialFolderMap();
    for (const BuiltInKeyword& each : kBuiltInKeywords) {
        std::wstring& entry = map[each.id];
        if (each.id == kFolderAllUsersProfile) {
            entry = ExpandEnvironment(L"%ALLUSERSPROFILE%");
        } else if (each.id == kFolderSystemDrive) {
            entry = ExpandEnvironment(L"%HOMEDRIVE%");
        } else {
            wchar_t buffer[MAX_PATH] = {};
            if (SHGetSpecialFolderPathW(nullptr, buffer, each.id, FALSE)) entry = buffer;
        }
        if (entry.size() > 1 && entry.front() == L'"' && entry.back() == L'"') entry = entry.substr(1, entry.size() - 2);
        TrimRight(entry, L"\\/");
        ReplaceChar(entry, L'/', L'\\');
    }
}

std::wstring GetSpecialFolder(int id)
{
    std::lock_guard<std::mutex> lock(specialFolderLock);
    const std::map<int, std::wstring>& map = SpecialFolderMap();
    const auto found = map.find(id);
    return found == map.end() ? std::wstring() : found->second;
}

void VLFolderKeywords::LoadDefaults()
{
    LoadSpecialFolders();
    fixed_.clear();
    for (const BuiltInKeyword& each : kBuiltInKeywords) fixed_[each.keyword] = GetSpecialFolder(each.id);
}

std::vector<std::wstring> VLFolderKeywords::GetSystemFolders() const
{
    std::vector<std::wstring> folders;
    for (const BuiltInKeyword& each : kBuiltInKeywords) folders.push_back(GetPath(each.keyword));
    return folders;
}

bool VLFolderKeywords::Contains(std::wstring keyword) const
{
    MakeLower(keyword);
    return runtime_.count(keyword) != 0 || fixed_.count(keyword) != 0;
}

std::wstring VLFolderKeywords::GetPath(std::wstring keyword) const
{
    MakeLower(keyword);
    auto found = runtime_.find(keyword);
    if (found != runtime_.end()) return found->second;
    found = fixed_.find(keyword);
    return found == fixed_.end() ? std::wstring() : found->second;
}

void VLFolderKeywords::SetPath(std::wstring keyword, const std::wstring& folder)
{
    if (keyword.empty()) return;
    MakeLower(keyword);
    if (FindNoCase(folder, L"##" + keyword + L"##") != std::wstring::npos) return;
    std::wstring& entry = runtime_[keyword];
    entry = folder;
    NormalizePath(entry, kPathStripQuotes | kPathNoTrailingSeparator | kPathBackslashes);
}

std::wstring VLFolderKeywords::Expand(std::wstring text) const
{
    for (int pass = 0; pass < kMaxExpandPasses; ++pass) {
        const size_t first = text.find(L"##");
        if (first == std::wstring::npos) break;
        const size_t second = text.find(L"##", first + 2);
        if (second == std::wstring::npos) break;
        // The token as written: later tokens spelled in another case are
        // found by a later pass.
        const std::wstring token = text.substr(first, second + 2 - first);
        const std::wstring keyword = token.substr(2, token.size() - 4);
        if (!Contains(keyword)) break;
        ReplaceAll(text, token.c_str(), GetPath(keyword).c_str());
    }
    return text;
}

} // namespace Velora
