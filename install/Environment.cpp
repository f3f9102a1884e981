#include "install/Environment.h"

#include "base/RegHandle.h"
#include "base/StringUtil.h"

#include <windows.h>

#include <vector>

namespace Velora {

namespace {

const wchar_t kMachineEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

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
    if (!machine.QueryTypedString(text, name)) return false;
    if (CompareNoCase(name, L"Path") == 0) {
        VLRegHandle user;
        std::wstring userText;
        if (user.Open(HKEY_CURRENT_USER, L"Environment", KEY_READ) && user.QueryTypedString(userText, name) &&
            !userText.empty())
            text = userText + L";" + text;
    }
    return SetEnvironmentVariableW(name.c_str(), text.c_str()) == TRUE;
}

} // namespace Velora
