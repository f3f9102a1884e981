#include "install/Environment.h"

#include "base/RegHandle.h"
#include "base/StringUtil.h"

#include <windows.h>

#include <vector>

namespace Velora {

namespace {

const wchar_t kMachineEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The value as a process sees it: text values only, expandable ones expanded.
bool ReadVariable(VLRegHandle& key, const std::wstring& name, std::wstring& out)
{
    VLRegValue value;
    if (!key.QueryValue(name, value)) return false;
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return false;
    out = value.type == REG_EXPAND_SZ ? ExpandEnvironment(value.text) : value.text;
    return true;
}

} // namespace

bool ReloadEnvironmentVariable(std::wstring name)
{
    VLRegHandle machine;
    if (!machine.Open(HKEY_LOCAL_MACHINE, kMachineEnvironment, KEY_READ)) return false;
    if (name.empty()) {
        std::vector<std::wstring> values, subkeys;
        machine.Enumerate(values, subkeys);
        for (const std::wstring& each : values) {
            if (!each.empty() && !ReloadEnvironmentVariable(each)) return false;
        }
        return true;
    }
    std::wstring text;
    if (!ReadVariable(machine, name, text)) return false;
    if (CompareNoCase(name, L"Path") == 0) {
        VLRegHandle user;
        std::wstring userText;
        if (user.Open(HKEY_CURRENT_USER, L"Environment", KEY_READ) && ReadVariable(user, name, userText) &&
            !userText.empty())
            text = userText + L";" + text;
    }
    return SetEnvironmentVariableW(name.c_str(), text.c_str()) == TRUE;
}

std::wstring ExpandEnvironment(const std::wstring& text)
{
    if (text.find(L'%') == std::wstring::npos) return text;
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::vector<wchar_t> buffer(needed + 2, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed + 1);
    if (written == 0 || written > needed) return text;
    buffer[written] = L'\0';
    return std::wstring(buffer.data());
}

} // namespace Velora
