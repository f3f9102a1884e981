#include "app/WorkFolder.h"

#include <windows.h>

namespace Velora {

std::wstring GetWorkFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"Zofti\\RuntimeCheck";
}

std::wstring DefaultWorkFolderCallback(unsigned int)
{
    return GetWorkFolder();
}

} // namespace Velora
