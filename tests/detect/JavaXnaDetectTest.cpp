#include "detect/JavaXnaDetect.h"

#include "Evidence.h"
#include "base/MachineEnvironment.h"
#include "detect/Detectors.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

using namespace Velora;
using Velora::Test::TestFolder;

namespace {

const std::wstring kJava = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const std::wstring kXna = L"SOFTWARE\\Microsoft\\XNA\\Framework\\";

// The text as the system expands it in a process whose environment is the block.
std::wstring SystemExpansion(const std::wstring& text, std::wstring block)
{
    wchar_t* const given = GetEnvironmentStringsW();
    size_t length = 2;
    while (given[length - 2] || given[length - 1]) ++length;
    std::wstring own(given, length);
    FreeEnvironmentStringsW(given);
    EXPECT_TRUE(SetEnvironmentStringsW(&block[0]));
    wchar_t expanded[1024] = L"";
    ExpandEnvironmentStringsW(text.c_str(), expanded, 1024);
    EXPECT_TRUE(SetEnvironmentStringsW(&own[0]));
    return expanded;
}

} // namespace

TEST(JavaXnaDetectTest, JavaRowFlips)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_LOCAL_MACHINE, kJava);
    EXPECT_FALSE(DetectJava());
    const TestFolder home;
    RegEvidence registry;
    registry.SetString(HKEY_LOCAL_MACHINE, kJava, L"CurrentVersion", L"1.6");
    registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\1.6", L"JavaHome", home.Path());
    registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\1.6", L"RuntimeLib", home / L"jvm.dll");
    // The runtime library the key names is missing.
    EXPECT_FALSE(DetectJava());
    {
        FileEvidence files;
        files.Touch(home / L"jvm.dll");
        EXPECT_TRUE(DetectJava());
        VLJavaInfo info;
        ReadJavaVersion(info);
        EXPECT_TRUE(info.found);
        EXPECT_EQ(info.major, 1);
        EXPECT_EQ(info.minor, 6);
    }
    EXPECT_FALSE(DetectJava());
}

TEST(JavaXnaDetectTest, JavaNeedsAHomeAndAVersion)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_LOCAL_MACHINE, kJava);
    const TestFolder home;
    FileEvidence files;
    files.Touch(home / L"jvm.dll");
    {
        RegEvidence registry;
        registry.SetString(HKEY_LOCAL_MACHINE, kJava, L"CurrentVersion", L"1.6");
        registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\1.6", L"JavaHome", L"");
        registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\1.6", L"RuntimeLib", home / L"jvm.dll");
        EXPECT_FALSE(DetectJava());
    }
    {
        RegEvidence registry;
        registry.SetString(HKEY_LOCAL_MACHINE, kJava, L"CurrentVersion", L"0.9");
        registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\0.9", L"JavaHome", home.Path());
        registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\0.9", L"RuntimeLib", home / L"jvm.dll");
        EXPECT_FALSE(DetectJava());
    }
}

TEST(JavaXnaDetectTest, Xna31RowFlips)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\XNA");
    EXPECT_FALSE(DetectXna31());
    const TestFolder folder;
    {
        RegEvidence registry;
        FileEvidence files;
        registry.SetString(HKEY_LOCAL_MACHINE, kXna + L"v3.1", L"NativeLibraryPath", folder.Path());
        registry.SetString(HKEY_LOCAL_MACHINE, kXna + L"v3.1", L"ProductVersion", L"3.1.10527.0");
        files.Touch(folder / L"XnaNative.dll");
        EXPECT_TRUE(DetectXna31());
        EXPECT_FALSE(DetectXna40());
        uint32_t mask = 0;
        ReadXnaMask(mask);
        EXPECT_EQ(mask, uint32_t(kXna31));
    }
    EXPECT_FALSE(DetectXna31());
}

TEST(JavaXnaDetectTest, Xna40RowFlips)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\XNA");
    EXPECT_FALSE(DetectXna40());
    const TestFolder folder;
    RegEvidence registry;
    registry.SetString(HKEY_LOCAL_MACHINE, kXna + L"v4.0", L"NativeLibraryPath", folder.Path() + L"\\");
    registry.SetString(HKEY_LOCAL_MACHINE, kXna + L"v4.0", L"ProductVersion", L"4.0.20823.0");
    // The version alone is not enough: the native library must be there.
    EXPECT_FALSE(DetectXna40());
    {
        FileEvidence files;
        files.Touch(folder / L"XnaNative.dll");
        EXPECT_TRUE(DetectXna40());
    }
    EXPECT_FALSE(DetectXna40());
}

TEST(JavaXnaDetectTest, XnaKeyVersionSources)
{
    const TestFolder folder;
    const std::wstring key = kXna + L"v2.0";
    RegEvidence registry;
    FileEvidence files;
    registry.SetString(HKEY_LOCAL_MACHINE, key, L"NativeLibraryPath", folder.Path());
    files.Touch(folder / L"XnaNative2.dll");
    int32_t major = 0, minor = 0, build = 0, revision = 0;
    // No "ProductVersion" and a library without a version: no answer.
    EXPECT_FALSE(ReadXnaKey(L"XnaNative2.dll", key, major, minor, build, revision));
    // A "ProductVersion" is read before the library's own version.
    registry.SetString(HKEY_LOCAL_MACHINE, key, L"ProductVersion", L"2.0.1");
    EXPECT_TRUE(ReadXnaKey(L"XnaNative2.dll", key, major, minor, build, revision));
    EXPECT_EQ(major, 2);
    EXPECT_EQ(build, 1);
    // Without one, the library's product version decides.
    files.Copy(FakeDll(L"xlive"), folder / L"XnaNative1.dll");
    registry.SetString(HKEY_LOCAL_MACHINE, kXna + L"v1.0", L"NativeLibraryPath", folder.Path());
    major = 0;
    EXPECT_TRUE(ReadXnaKey(L"XnaNative1.dll", kXna + L"v1.0", major, minor, build, revision));
    EXPECT_EQ(major, 2);
    uint32_t mask = 0;
    ReadXnaMask(mask);
    EXPECT_EQ(mask, uint32_t(kXna10 | kXna20));
}

TEST(JavaXnaDetectTest, FolderVariablesExpandAsTheSystemGivesThem)
{
    RegEvidence registry; // whatever the prefix has is hidden until the test ends
    registry.HideKey(HKEY_LOCAL_MACHINE, kJava);
    registry.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\XNA");
    registry.SetString(HKEY_LOCAL_MACHINE, kJava, L"CurrentVersion", L"1.6");
    registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\1.6", L"JavaHome", L"C:\\Java");
    registry.SetString(HKEY_LOCAL_MACHINE, kXna + L"v4.0", L"ProductVersion", L"4.0.20823.0");
    auto expandable = [&](const std::wstring& key, const wchar_t* name, const std::wstring& text) {
        registry.SetValue(HKEY_LOCAL_MACHINE, key, name, REG_EXPAND_SZ, text.c_str(), DWORD(text.size() + 1) * 2);
    };
    const TestFolder user; // where the user's own environment points every variable
    const std::wstring own = L"\\VLTest" + std::to_wstring(GetCurrentProcessId());
    unsigned given = 0;
    for (const wchar_t* name :
         {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"CommonProgramFiles", L"CommonProgramFiles(x86)",
          L"CommonProgramW6432", L"ProgramData", L"ALLUSERSPROFILE"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        wchar_t folder[MAX_PATH] = L"";
        const bool system = GetEnvironmentVariableW(name, folder, MAX_PATH) != 0;
        given += system;
        const ScopedVariable moved(name, user.Path());
        expandable(kJava + L"\\1.6", L"RuntimeLib", L"%" + std::wstring(name) + L"%" + own + L"\\jvm.dll");
        expandable(kXna + L"v4.0", L"NativeLibraryPath", L"%" + std::wstring(name) + L"%" + own);
        for (const std::wstring& place : {std::wstring(folder), user.Path()}) {
            FileEvidence files;
            if (!place.empty()) {
                files.Touch(place + own + L"\\jvm.dll");
                files.Touch(place + own + L"\\XnaNative.dll");
            }
            const bool systems = system && place == folder; // only the system's folder counts
            EXPECT_EQ(DetectJava(), systems);
            EXPECT_EQ(DetectXna40(), systems);
        }
    }
    EXPECT_EQ(given, OnWow64() ? 8u : 4u); // the "(x86)" and "W6432" forms only on 64-bit Windows
}

TEST(JavaXnaDetectTest, MachineVariablesAsAFreshProcessIsGivenThem)
{
    const std::wstring version = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                       environment = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    RegEvidence registry;
    auto set = [&](REGSAM view, const std::wstring& key, const wchar_t* name, DWORD type, const std::wstring& text) {
        registry.SetValue(HKEY_LOCAL_MACHINE, key, name, type, text.c_str(), DWORD(text.size() + 1) * 2, view);
    };
    // A folder written with a reference kept as text, one named from a
    // machine variable; on 64-bit Windows the native "(x86)" folders moved
    // one way, the 32-bit view's another. A machine variable names a folder
    // and one set after it.
    set(KEY_WOW64_64KEY, version, L"ProgramFilesDir", REG_SZ, L"%SystemDrive%\\VLPrograms");
    set(KEY_WOW64_64KEY, version, L"CommonFilesDir", REG_EXPAND_SZ, L"%VLTestRoot%\\Common");
    if (OnWow64()) {
        set(KEY_WOW64_64KEY, version, L"ProgramFilesDir (x86)", REG_SZ, L"C:\\VLNative86");
        set(KEY_WOW64_64KEY, version, L"CommonFilesDir (x86)", REG_EXPAND_SZ, L"%SystemDrive%\\VLCommon86");
        for (const wchar_t* name :
             {L"ProgramFilesDir", L"ProgramFilesDir (x86)", L"CommonFilesDir", L"CommonFilesDir (x86)"})
            set(KEY_WOW64_32KEY, version, name, REG_SZ, L"C:\\VLWow");
    }
    set(0, environment, L"VLTestRoot", REG_EXPAND_SZ, L"%SystemDrive%\\VLRoot");
    set(0, environment, L"VLTestUses", REG_EXPAND_SZ, L"%CommonProgramW6432%;%PUBLIC%;%VLTestZ%");
    set(0, environment, L"VLTestZ", REG_SZ, L"later");
    // Each folder's name in the key too, as an installer may write it; a name
    // in another script; "%%", and a name the machine lacks before one it
    // has, which the system keeps as written.
    std::vector<std::wstring> names = {L"ProgramFiles",       L"ProgramFiles(x86)",       L"ProgramW6432",
                                       L"CommonProgramFiles", L"CommonProgramFiles(x86)", L"CommonProgramW6432",
                                       L"ProgramData",        L"ALLUSERSPROFILE",         L"PUBLIC"};
    for (const std::wstring& name : names) set(0, environment, name.c_str(), REG_EXPAND_SZ, L"%" + name + L"%\\VLKey");
    set(0, environment, L"VLTest\u00dc", REG_SZ, L"C:\\VL\u00dc");
    set(0, environment, L"VLTestPercent", REG_EXPAND_SZ, L"%%VLTestZ%%");
    set(0, environment, L"VLTestNone", REG_EXPAND_SZ, L"%VLTestNothing%SystemDrive%");
    const std::wstring fresh = FreshEnvironment();
    names.insert(names.end(), {L"VLTestRoot", L"VLTestUses", L"VLTest\u00dc", L"VLTestPercent", L"VLTestNone",
                               L"PROCESSOR_ARCHITECTURE", L"PROCESSOR_ARCHITEW6432"});
    // Each variable named in another case, then texts, as the system expands them there.
    std::vector<std::wstring> texts = {
        L"%%VLTestZ%%",    L"%VLTestNothing%SystemDrive%", L"50% of %SystemDrive%",
        L"%%SystemDrive%", L"%VLTestZ%VLTestZ%%VLTestZ%",  L"%ProgramData%;%ProgramFiles%"};
    for (std::wstring name : names) {
        CharLowerBuffW(&name[0], DWORD(name.size()));
        texts.push_back(L"%" + name + L"%");
    }
    for (const std::wstring& text : texts)
        EXPECT_EQ(ExpandMachineEnvironment(text), SystemExpansion(text, fresh)) << text;
}

TEST(JavaXnaDetectTest, MachineVariablesReadAgainOnceAKeyOfTheirsChanges)
{
    const wchar_t* const rows[][3] = {
        {L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", L"VLTestKept", L"%VLTestKept%"},
        {L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", L"Public", L"%PUBLIC%"},
        {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"CommonFilesDir",
         OnWow64() ? L"%CommonProgramW6432%" : L"%CommonProgramFiles%"},
    };
    for (const auto& [key, name, reference] : rows) {
        RegEvidence registry;
        for (const std::wstring folder : {L"C:\\VLBefore", L"C:\\VLAfter"}) {
            registry.SetValue(HKEY_LOCAL_MACHINE, key, name, REG_SZ, folder.c_str(), DWORD(folder.size() + 1) * 2,
                              KEY_WOW64_64KEY);
            // Past the second in which the key's time may not yet tell a
            // later write, so that what is read now is kept.
            if (folder == L"C:\\VLBefore") Sleep(1100);
            EXPECT_EQ(ExpandMachineEnvironment(reference), folder) << key;
        }
    }
}
