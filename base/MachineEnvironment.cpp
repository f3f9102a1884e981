#include "base/MachineEnvironment.h"

#include "base/FileUtil.h"
#include "base/RegHandle.h"
#include "base/StringUtil.h"

#include <utility>
#include <vector>

namespace Velora {

namespace {

const wchar_t kMachineEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The program and common files folders of the machine's CurrentVersion key,
// in the order the system reads them, and the variable each one sets on
// 32-bit Windows and for a 32-bit process on 64-bit Windows. The "(x86)"
// folders are then that process's own ProgramFiles and CommonProgramFiles.
struct FolderVariable {
    const wchar_t* value;
    const wchar_t* on32;
    const wchar_t* on64;
};

const FolderVariable kFolderVariables[] = {
    {L"ProgramFilesDir (x86)", nullptr, L"ProgramFiles(x86)"},
    {L"ProgramFilesDir", L"ProgramFiles", L"ProgramW6432"},
    {L"CommonFilesDir (x86)", nullptr, L"CommonProgramFiles(x86)"},
    {L"CommonFilesDir", L"CommonProgramFiles", L"CommonProgramW6432"},
};

// The variables the system gives a new process from the machine's own
// settings, named without regard to case and set in the order the system sets
// them: those of its own folder (SystemRoot, windir, SystemDrive), which no
// key changes; the machine's environment key, value by value; the shared
// folders of the profile list (ProgramData, ALLUSERSPROFILE, PUBLIC); the
// program and common files folders; the environment key's values once more,
// REG_SZ ones first, so that each may name any variable set before it; last,
// for a 32-bit process on 64-bit Windows, its own ProgramFiles and
// CommonProgramFiles. Every key is read in the machine's native view, as the
// system reads it whatever the process. A REG_EXPAND_SZ value is expanded
// from the variables set before it; a REG_SZ value is taken as written.
class MachineVariables {
public:
    MachineVariables();
    const std::wstring* Find(const std::wstring& name) const;

private:
    void Set(const std::wstring& name, std::wstring value); // a copy: value may be one of the variables
    // The values of the environment key of the type given (0: of either).
    void SetFrom(const std::vector<VLRegValue>& values, DWORD type);
    bool Text(const VLRegValue& value, std::wstring& text) const;
    bool Read(const wchar_t* key, const wchar_t* name, std::wstring& text) const;

    REGSAM view_ = IsWow64() ? KEY_WOW64_64KEY : 0;
    std::vector<std::pair<std::wstring, std::wstring>> variables_;
};

std::wstring Expand(const std::wstring& text, const MachineVariables& variables)
{
    std::wstring out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find(L'%', at);
        const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        out.append(text, at, open - at);
        const std::wstring* value = variables.Find(text.substr(open + 1, close - open - 1));
        if (!value) {
            // Kept as written; its closing '%' may open the next reference.
            out.append(text, open, close - open);
            at = close;
            continue;
        }
        out += *value;
        at = close + 1;
    }
    out.append(text, at, std::wstring::npos);
    return out;
}

MachineVariables::MachineVariables()
{
    std::wstring windows;
    if (GetSystemWindowsDir(windows)) {
        Set(L"SystemRoot", windows);
        Set(L"windir", windows);
        if (windows.size() >= 2 && windows[1] == L':') Set(L"SystemDrive", windows.substr(0, 2));
    }
    VLRegHandle machine;
    std::vector<VLRegValue> values;
    std::vector<std::wstring> subkeys;
    if (!machine.Open(HKEY_LOCAL_MACHINE, kMachineEnvironment, KEY_READ | view_) ||
        !machine.Enumerate(values, subkeys)) {
        values.clear();
    }
    SetFrom(values, 0);
    std::wstring text;
    if (Read(kProfileList, L"ProgramData", text)) {
        Set(L"ProgramData", text);
        Set(L"ALLUSERSPROFILE", text);
    }
    if (Read(kProfileList, L"Public", text)) Set(L"PUBLIC", text);
    const bool wow64 = IsWow64();
    for (const FolderVariable& folder : kFolderVariables) {
        const wchar_t* name = wow64 ? folder.on64 : folder.on32;
        if (name && Read(kCurrentVersion, folder.value, text)) Set(name, text);
    }
    SetFrom(values, REG_SZ);
    SetFrom(values, REG_EXPAND_SZ);
    if (!wow64) return;
    for (const auto& [own, x86] : {std::pair{L"ProgramFiles", L"ProgramFiles(x86)"},
                                   std::pair{L"CommonProgramFiles", L"CommonProgramFiles(x86)"}}) {
        if (const std::wstring* folder = Find(x86)) Set(own, *folder);
    }
}

void MachineVariables::SetFrom(const std::vector<VLRegValue>& values, DWORD type)
{
    for (const VLRegValue& value : values) {
        std::wstring text;
        const bool own = CompareNoCase(value.name, L"SystemRoot") == 0 || CompareNoCase(value.name, L"windir") == 0 ||
                         CompareNoCase(value.name, L"SystemDrive") == 0;
        if (!own && (!type || value.type == type) && Text(value, text)) Set(value.name, text);
    }
}

const std::wstring* MachineVariables::Find(const std::wstring& name) const
{
    for (const auto& [known, value] : variables_) {
        if (CompareNoCase(known, name) == 0) return &value;
    }
    return nullptr;
}

void MachineVariables::Set(const std::wstring& name, std::wstring value)
{
    for (auto& [known, old] : variables_) {
        if (CompareNoCase(known, name) == 0) {
            old = std::move(value);
            return;
        }
    }
    variables_.emplace_back(name, std::move(value));
}

bool MachineVariables::Text(const VLRegValue& value, std::wstring& text) const
{
    if (value.name.empty() || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) return false;
    text = value.text.substr(0, value.text.find(L'\0'));
    if (value.type == REG_EXPAND_SZ) text = Expand(text, *this);
    return !text.empty();
}

bool MachineVariables::Read(const wchar_t* key, const wchar_t* name, std::wstring& text) const
{
    VLRegHandle handle;
    VLRegValue value;
    value.name = name;
    return handle.Open(HKEY_LOCAL_MACHINE, key, KEY_QUERY_VALUE | view_) && handle.QueryValue(name, value) &&
           Text(value, text);
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
    // The machine's variables are read only for a text that names one.
    return text.find(L'%') == std::wstring::npos ? text : Expand(text, MachineVariables());
}

} // namespace Velora
