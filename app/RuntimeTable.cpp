#include "app/RuntimeTable.h"

#include "app/HarrowWndIds.h"
#include "base/StringUtil.h"
#include "detect/DetectHelpers.h"
#include "detect/Detectors.h"

namespace Velora {

namespace {

enum class Shown { Always, WindowsXpOnly, Wow64Only, NotWow64 };

struct Runtime {
    int32_t id;
    int32_t imageId;
    const wchar_t* name;
    DetectFunction detect;
    uint64_t packageSize;
    Shown shown;
};

const Runtime kRuntimes[] = {
    {40029, kImageFlash, L"Adobe Flash Player for IE", DetectFlashForIE, 4906716, Shown::Always},
    {40019, kImageGfwLive, L"Games For Windows Live", DetectGfwLive, 247932001, Shown::Always},
    {40023, kImagePhysX, L"Nvidia PhysX System", DetectPhysX, 58769930, Shown::Always},
    {40020, kImageJava, L"JavaSE", DetectJava, 51980827, Shown::Always},
    {40024, kImageOpenAL, L"OpenAL", DetectOpenAL, 837277, Shown::Always},
    {40028, kImageXna31, L"Microsoft XNA Framework Redist 3.1", DetectXna31, 8414238, Shown::Always},
    {40044, kImageXna40, L"Microsoft XNA Framework Redist 4.0", DetectXna40, 10352052, Shown::Always},
    {40018, kImageDirectX, L"DirectX 9.0", DetectDirectX, 56216582, Shown::Always},
    {40021, kImageDotNet, L"Microsoft .Net Framework 3.5 SP1", DetectDotNet35, 235202856, Shown::Always},
    {40043, kImageDotNet, L"Microsoft .Net Framework 4.0", DetectDotNet40, 221956390, Shown::Always},
    {40056, kImageAppLocale, L"Microsoft AppLocale Utility", DetectAppLocale, 1152792, Shown::WindowsXpOnly},
    {40057, kImageSilverlight, L"Microsoft Silverlight", DetectSilverlight, 28207578, Shown::Always},
    {40050, kImageVC2005, L"Microsoft Visual C++ 2005", DetectVC2005, 2373237, Shown::Always},
    {40026, kImageVC2008, L"Microsoft Visual C++ 2008", DetectVC2008, 5383282, Shown::Always},
    {40027, kImageVC2010, L"Microsoft Visual C++ 2010", DetectVC2010, 9885918, Shown::Always},
    {40051, kImageVC2012, L"Microsoft Visual C++ 2012", DetectVC2012, 12236576, Shown::Always},
    {40053, kImageMsxml34, L"MSXML 3.0", DetectMsxml3, 1720722, Shown::Always},
    {40054, kImageMsxml34, L"MSXML 4.0", DetectMsxml4, 1360635, Shown::Always},
    {40059, kImageVC2005, L"Microsoft Visual C++ 2005 (x64)", DetectVC2005x64, 3110221, Shown::Wow64Only},
    {40060, kImageVC2008, L"Microsoft Visual C++ 2008 (x64)", DetectVC2008x64, 5186736, Shown::Wow64Only},
    {40061, kImageVC2010, L"Microsoft Visual C++ 2010 (x64)", DetectVC2010x64, 10248239, Shown::Wow64Only},
    {40062, kImageVC2012, L"Microsoft Visual C++ 2012 (x64)", DetectVC2012x64, 7000914, Shown::Wow64Only},
    {40058, kImageMsxml6, L"MSXML 6.0 (x64)", DetectMsxml6x64, 1894168, Shown::Wow64Only},
    {40055, kImageMsxml6, L"MSXML 6.0", DetectMsxml6, 938021, Shown::NotWow64},
};

bool IsShown(Shown shown, DWORD windowsMajor, bool wow64)
{
    switch (shown) {
    case Shown::WindowsXpOnly: return windowsMajor == 5;
    case Shown::Wow64Only: return wow64;
    case Shown::NotWow64: return !wow64;
    default: return true;
    }
}

} // namespace

void BuildRuntimeTable(std::vector<VLSoftwareDetect>& table, DWORD windowsMajor, bool wow64)
{
    for (const Runtime& runtime : kRuntimes) {
        if (IsShown(runtime.shown, windowsMajor, wow64)) {
            table.emplace_back(0, runtime.id, runtime.imageId, runtime.name, runtime.detect);
        }
    }
}

void BuildRuntimeTable(std::vector<VLSoftwareDetect>& table)
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version);
    BuildRuntimeTable(table, version.dwMajorVersion, IsWow64());
}

uint64_t GetPackageSize(int32_t runtimeId)
{
    for (const Runtime& runtime : kRuntimes) {
        if (runtime.id == runtimeId) return runtime.packageSize;
    }
    return 0;
}

std::wstring FormatPackageSize(uint64_t size)
{
    static const wchar_t* const kUnits[] = {L"%.1fKB", L"%.1fMB", L"%.1fGB", L"%.1fTB"};
    std::wstring text;
    if (size < 1024) {
        Format(text, L"%dB", int(size));
        return text;
    }
    int unit = 0;
    double scale = 1024.0;
    while (unit < 3 && size >= uint64_t(scale) * 1024) {
        scale *= 1024.0;
        ++unit;
    }
    Format(text, kUnits[unit], double(size) / scale);
    return text;
}

} // namespace Velora
