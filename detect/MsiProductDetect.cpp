#include "detect/MsiProductDetect.h"

#include "base/RegHandle.h"
#include "detect/Detectors.h"

namespace Velora {

namespace {

const wchar_t kMachineProducts[] = L"Installer\\Products";
const wchar_t kUserProducts[] = L"Software\\Microsoft\\Installer\\Products";

void ReadProduct(HKEY root, const std::wstring& key, VLMSIProduct& product)
{
    VLRegHandle handle;
    if (!handle.Open(root, key, KEY_QUERY_VALUE)) return;
    handle.QueryTypedMachineString(product.name, L"ProductName");
    DWORD number = 0;
    handle.QueryTypedDword(number, L"Version");
    product.version = number;
    handle.QueryTypedDword(number, L"Language");
    product.language = number;
}

bool ListSubkeys(HKEY root, const wchar_t* key, std::vector<std::wstring>& subkeys)
{
    VLRegHandle handle;
    std::vector<std::wstring> values;
    return handle.Open(root, key, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS) &&
           handle.Enumerate(values, subkeys);
}

bool IsProductInstalled(const wchar_t* name)
{
    VLMSIProductDetect detect;
    detect.Scan();
    VLMSIProduct query;
    query.name = name;
    return detect.Find(query);
}

} // namespace

void VLMSIProductDetect::Scan()
{
    std::vector<std::wstring> machine, user;
    if (!ListSubkeys(HKEY_CLASSES_ROOT, kMachineProducts, machine)) return;
    ListSubkeys(HKEY_CURRENT_USER, kUserProducts, user);

    products.resize(machine.size() + user.size());
    for (size_t i = 0; i < machine.size(); ++i) {
        ReadProduct(HKEY_CLASSES_ROOT, std::wstring(kMachineProducts) + L"\\" + machine[i],
                    products[i] = VLMSIProduct());
    }
    for (size_t j = 0; j < user.size(); ++j) {
        ReadProduct(HKEY_CURRENT_USER, std::wstring(kUserProducts) + L"\\" + user[j],
                    products[machine.size() + j] = VLMSIProduct());
    }
}

bool VLMSIProductDetect::Find(const VLMSIProduct& query)
{
    for (const VLMSIProduct& product : products) {
        if (product.name == query.name && (query.language == 0 || query.language == product.language) &&
            (query.version == 0 || query.version == product.version)) {
            return true;
        }
    }
    return false;
}

bool DetectAppLocale()
{
    return IsProductInstalled(L"Microsoft AppLocale");
}

bool DetectSilverlight()
{
    return IsProductInstalled(L"Microsoft Silverlight");
}

} // namespace Velora
