#include "base/MachineEnvironment.h"

#include "base/FileUtil.h"
#include "base/RegHandle.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace Velora {

namespace {

const wchar_t kMachineEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The program and common files folders of the machine's CurrentVersion key,
// in the order the system reads them, and the variable each one sets on
// 32-bit Windows and for a 32-bit process on 64-bit Windows.
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

// The registry view the system reads the machine's settings in, whatever
// the process.
REGSAM NativeView()
{
    return IsWow64() ? KEY_WOW64_64KEY : 0;
}

// The variables the system gives a new process from the machine's own
// settings, named as the system names them (RegNameLess: the system's own
// folding of every script), set in the order the system sets them: those of
// its own folder (SystemRoot, windir, SystemDrive), which no key changes; the
// machine's environment key, value by value; the shared and program folders;
// the key once more, REG_SZ values first, so that each value may name a
// folder or a value listed after it; the folders again, which no value of the
// key replaces; last, what only a 32-bit process has. A REG_EXPAND_SZ value
// is expanded from the variables set before it; a REG_SZ value is taken as
// written.
class MachineVariables {
public:
    MachineVariables();
    std::wstring Expand(const std::wstring& text) const;

private:
    const std::wstring* Find(const std::wstring& name) const;
    void Set(const std::wstring& name, const std::wstring& value);
    // The values of the environment key of the type given (0: of either).
    void SetFrom(const std::vector<VLRegValue>& values, DWORD type);
    void SetFolders();
    bool Text(const VLRegValue& value, std::wstring& text) const;

    std::map<std::wstring, std::wstring, RegNameLess> variables_;
};

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
    if (!machine.Open(HKEY_LOCAL_MACHINE, kMachineEnvironment, KEY_READ | NativeView()) ||
        !machine.Enumerate(values, subkeys)) {
        values.clear();
    }
    SetFrom(values, 0);
    SetFolders();
    SetFrom(values, REG_SZ);
    SetFrom(values, REG_EXPAND_SZ);
    SetFolders();
    // Its own program folders are the "(x86)" ones, which on 32-bit Windows
    // only the key gives.
    for (const auto& [own, x86] : {std::pair{L"ProgramFiles", L"ProgramFiles(x86)"},
                                   std::pair{L"CommonProgramFiles", L"CommonProgramFiles(x86)"}}) {
        if (const std::wstring* folder = Find(x86)) Set(own, *folder);
    }
    // On 64-bit Windows it is told it runs on x86, and on what machine beside,
    // unless the key said that already.
    const std::wstring* machineType = Find(L"PROCESSOR_ARCHITECTURE");
    if (IsWow64() && machineType && !Find(L"PROCESSOR_ARCHITEW6432")) {
        Set(L"PROCESSOR_ARCHITEW6432", *machineType);
        Set(L"PROCESSOR_ARCHITECTURE", L"x86");
    }
}

std::wstring MachineVariables::Expand(const std::wstring& text) const
{
    std::wstring out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find(L'%', at);
        const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        out.append(text, at, open - at);
        const std::wstring* value = Find(text.substr(open + 1, close - open - 1));
        if (value) {
            out += *value;
        } else {
            // Kept with both its signs: its closing '%' opens nothing.
            out.append(text, open, close + 1 - open);
        }
        at = close + 1;
    }
    out.append(text, at, std::wstring::npos);
    return out;
}

const std::wstring* MachineVariables::Find(const std::wstring& name) const
{
    const auto found = variables_.find(name);
    return found == variables_.end() ? nullptr : &found->second;
}

void MachineVariables::Set(const std::wstring& name, const std::wstring& value)
{
    variables_[name] = value;
}

void MachineVariables::SetFrom(const std::vector<VLRegValue>& values, DWORD type)
{
    for (const VLRegValue& value : values) {
        std::wstring text;
        const bool own = CompareRegNames(value.name, L"SystemRoot") == 0 ||
                         CompareRegNames(value.name, L"windir") == 0 ||
                         CompareRegNames(value.name, L"SystemDrive") == 0;
        if (!own && (!type || value.type == type) && Text(value, text)) Set(value.name, text);
    }
}

void MachineVariables::SetFolders()
{
    std::wstring text;
    const auto read = [&](const wchar_t* key, const wchar_t* name) {
        VLRegHandle handle;
        VLRegValue value(REG_NONE, name);
        return handle.Open(HKEY_LOCAL_MACHINE, key, KEY_QUERY_VALUE | NativeView()) && handle.QueryValue(name, value) &&
               Text(value, text);
    };
    if (read(kProfileList, L"ProgramData")) {
        Set(L"ProgramData", text);
        Set(L"ALLUSERSPROFILE", text);
    }
    if (read(kProfileList, L"Public")) Set(L"PUBLIC", text);
    for (const FolderVariable& folder : kFolderVariables) {
        const wchar_t* name = IsWow64() ? folder.on64 : folder.on32;
        if (name && read(kCurrentVersion, folder.value)) Set(name, text);
    }
}

bool MachineVariables::Text(const VLRegValue& value, std::wstring& text) const
{
    if (value.name.empty() || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) return false;
    text = value.text.substr(0, value.text.find(L'\0'));
    if (value.type == REG_EXPAND_SZ) text = Expand(text);
    return !text.empty();
}

// When each key the variables come from was last written, or false when one
// cannot be asked.
bool LastWritten(std::vector<uint64_t>& times)
{
    times.clear();
    for (const wchar_t* path : {kMachineEnvironment, kProfileList, kCurrentVersion}) {
        VLRegHandle key;
        FILETIME written = {};
        if (!key.Open(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE | NativeView()) ||
            RegQueryInfoKeyW(key.key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, &written) != ERROR_SUCCESS)
            return false;
        times.push_back(uint64_t(written.dwHighDateTime) << 32 | written.dwLowDateTime);
    }
    return true;
}

// The variables as last read, until a key they come from is written again.
std::shared_ptr<const MachineVariables> CurrentVariables()
{
    static std::mutex lock;
    static std::shared_ptr<const MachineVariables> last;
    static std::vector<uint64_t> lastWritten;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    std::vector<uint64_t> written;
    const bool known = LastWritten(written);
    const std::lock_guard<std::mutex> guard(lock);
    if (known && last && written == lastWritten) return last;
    auto variables = std::make_shared<const MachineVariables>();
    // A key's time counts in the system's clock ticks: a write in the same
    // tick as the last one may leave it as it was. Variables read within a
    // second of a write are read again next time.
    const uint64_t second = 10000000, newest = known ? *std::max_element(written.begin(), written.end()) : 0;
    if (known && newest + second < (uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime)) {
        last = variables;
        lastWritten = written;
    } else {
        last.reset();
    }
    return variables;
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
    // The machine's variables are looked at only for a text that names one.
    return text.find(L'%') == std::wstring::npos ? text : CurrentVariables()->Expand(text);
}

} // namespace Velora
