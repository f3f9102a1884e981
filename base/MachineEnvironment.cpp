#include "base/MachineEnvironment.h"

#include "base/FileUtil.h"
#include "base/RegHandle.h"
#include "base/StringUtil.h"

namespace Velora {

namespace {

const wchar_t kMachineEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Where the system takes each folder variable from when it starts a process.
// This process's own view of the keys gives its own folders (the x86 ones on
// 64-bit Windows); the 64-bit view gives the "W6432" forms, which only a
// process on 64-bit Windows is given. A form Windows does not have (the
// "(x86)" ones on 32-bit Windows) is missing from the key as well.
struct FolderVariable {
    const wchar_t* name;
    const wchar_t* key;
    const wchar_t* value;
    bool native;
};

const FolderVariable kFolderVariables[] = {
    {L"ProgramFiles", kCurrentVersion, L"ProgramFilesDir", false},
    {L"ProgramFiles(x86)", kCurrentVersion, L"ProgramFilesDir (x86)", false},
    {L"ProgramW6432", kCurrentVersion, L"ProgramFilesDir", true},
    {L"CommonProgramFiles", kCurrentVersion, L"CommonFilesDir", false},
    {L"CommonProgramFiles(x86)", kCurrentVersion, L"CommonFilesDir (x86)", false},
    {L"CommonProgramW6432", kCurrentVersion, L"CommonFilesDir", true},
    {L"ProgramData", kProfileList, L"ProgramData", false},
    {L"ALLUSERSPROFILE", kProfileList, L"ProgramData", false},
};

// The variables the system sets from its own folder, never from a key.
bool SystemVariable(const std::wstring& name, std::wstring& value)
{
    std::wstring windows;
    if (!GetSystemWindowsDir(windows)) return false;
    if (CompareNoCase(name, L"SystemRoot") == 0 || CompareNoCase(name, L"windir") == 0) {
        value = windows;
        return true;
    }
    if (CompareNoCase(name, L"SystemDrive") != 0 || windows.size() < 2 || windows[1] != L':') return false;
    value = windows.substr(0, 2);
    return true;
}

// A text value of a machine key, as written there.
bool MachineKeyText(const wchar_t* key, const std::wstring& name, REGSAM view, std::wstring& value)
{
    VLRegHandle handle;
    VLRegValue read;
    if (name.empty() || !handle.Open(HKEY_LOCAL_MACHINE, key, KEY_QUERY_VALUE | view) ||
        !handle.QueryValue(name, read) || (read.type != REG_SZ && read.type != REG_EXPAND_SZ)) {
        return false;
    }
    value = read.text.substr(0, read.text.find(L'\0'));
    return true;
}

// A folder variable, from the key the system sets it from.
bool FolderVariableValue(const std::wstring& name, std::wstring& value)
{
    for (const FolderVariable& folder : kFolderVariables) {
        if (CompareNoCase(name, folder.name) != 0) continue;
        if (folder.native && !IsWow64()) return false;
        return MachineKeyText(folder.key, folder.value, folder.native ? KEY_WOW64_64KEY : 0, value);
    }
    return false;
}

// machineKey: whether names other than the system's are looked up in the
// machine's key; what is found there is expanded from the system's variables
// alone, so no value can lead back to itself.
std::wstring Expand(const std::wstring& text, bool machineKey)
{
    std::wstring out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find(L'%', at);
        const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        out.append(text, at, open - at);
        const std::wstring name = text.substr(open + 1, close - open - 1);
        std::wstring value;
        if (SystemVariable(name, value)) {
            out += value;
        } else if (machineKey &&
                   (FolderVariableValue(name, value) || MachineKeyText(kMachineEnvironment, name, 0, value))) {
            out += Expand(value, false);
        } else {
            // Kept as written; its closing '%' may open the next reference.
            out.append(text, open, close - open);
            at = close;
            continue;
        }
        at = close + 1;
    }
    out.append(text, at, std::wstring::npos);
    return out;
}

} // namespace

bool IsWow64()
{
    static const bool answer = [] {
        // Resolved at run time: Windows before XP SP2 lacks it.
        using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
        const auto query = reinterpret_cast<IsWow64Process>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
        BOOL wow64 = FALSE;
        return query && query(GetCurrentProcess(), &wow64) && wow64;
    }();
    return answer;
}

std::wstring ExpandMachineEnvironment(const std::wstring& text)
{
    return Expand(text, true);
}

} // namespace Velora
