#include "base/MachineEnvironment.h"

#include "base/FileUtil.h"
#include "base/RegHandle.h"
#include "base/StringUtil.h"

namespace Velora {

namespace {

const wchar_t kMachineEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

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

// A variable of the machine's environment key, as written there.
bool MachineKeyVariable(const std::wstring& name, std::wstring& value)
{
    VLRegHandle key;
    VLRegValue read;
    if (name.empty() || !key.Open(HKEY_LOCAL_MACHINE, kMachineEnvironment, KEY_QUERY_VALUE) ||
        !key.QueryValue(name, read) || (read.type != REG_SZ && read.type != REG_EXPAND_SZ)) {
        return false;
    }
    value = read.text.substr(0, read.text.find(L'\0'));
    return true;
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
        } else if (machineKey && MachineKeyVariable(name, value)) {
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

std::wstring ExpandMachineEnvironment(const std::wstring& text)
{
    return Expand(text, true);
}

} // namespace Velora
