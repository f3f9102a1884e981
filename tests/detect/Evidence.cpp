#include "Evidence.h"

#include "base/Handles.h"
#include "base/RegHandle.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

// WOW64 redirection off for one scope on this thread, or nothing when the
// evidence is for the 32-bit view.
class NativeFolders {
public:
    explicit NativeFolders(bool native)
    {
        if (native) disabled_ = Wow64DisableWow64FsRedirection(&old_);
    }
    ~NativeFolders()
    {
        if (disabled_) Wow64RevertWow64FsRedirection(old_);
    }

private:
    PVOID old_ = nullptr;
    BOOL disabled_ = FALSE;
};

std::wstring Parent(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring FromUnix(const char* path)
{
    std::wstring out = L"Z:";
    for (const char* p = path; *p; ++p) out += *p == '/' ? L'\\' : wchar_t(*p);
    return out;
}

} // namespace

std::wstring FakeDll(const std::wstring& name)
{
    return FromUnix(VL_FAKES_DIR) + L"\\" + name + L".dll";
}

std::wstring SystemDir()
{
    wchar_t path[MAX_PATH];
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring WindowsDir()
{
    wchar_t path[MAX_PATH];
    GetWindowsDirectoryW(path, MAX_PATH);
    return path;
}

bool OnWow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

RegEvidence::~RegEvidence()
{
    Clear();
}

void RegEvidence::CreateKey(HKEY root, const std::wstring& path, const std::wstring& keyClass)
{
    // Remember the outermost key that did not exist; removing it removes
    // everything created below it.
    std::wstring outermost;
    for (std::wstring p = path; !p.empty() && !KeyExists(root, p); p = Parent(p)) outermost = p;
    HKEY key = nullptr;
    LPWSTR className = keyClass.empty() ? nullptr : const_cast<LPWSTR>(keyClass.c_str());
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, className, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    if (!outermost.empty()) keys_.push_back({root, outermost});
}

void RegEvidence::SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
                           DWORD size, REGSAM view)
{
    if (!view) CreateKey(root, path);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key), ERROR_SUCCESS);
    ChangedValue old{root, view, path, name, false, 0, {}};
    DWORD oldSize = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &old.type, nullptr, &oldSize) == ERROR_SUCCESS) {
        old.existed = true;
        old.data.resize(oldSize);
        RegQueryValueExW(key, name.c_str(), nullptr, nullptr, old.data.data(), &oldSize);
    }
    values_.push_back(old);
    EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegEvidence::SetString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value)
{
    SetValue(root, path, name, REG_SZ, value.c_str(), DWORD(value.size() + 1) * 2);
}

void RegEvidence::SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value)
{
    SetValue(root, path, name, REG_DWORD, &value, sizeof(value));
}

void RegEvidence::HideKey(HKEY root, const std::wstring& path)
{
    static unsigned count = 0;
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_64KEY)}) {
        Velora::VLKeyHandle key;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put()) != ERROR_SUCCESS) continue;
        HiddenKey hidden{root, path, view,
                         L"Software\\VLTestHidden\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(++count)};
        Velora::VLKeyHandle aside;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, hidden.aside.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  aside.Put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegCopyTreeW(key.Get(), nullptr, aside.Get()), ERROR_SUCCESS);
        key.Reset();
        ASSERT_EQ(RegOpenKeyExW(root, Parent(path).c_str(), 0, KEY_ALL_ACCESS | view, key.Put()), ERROR_SUCCESS);
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        ASSERT_EQ(RegDeleteTreeW(key.Get(), name.c_str()), ERROR_SUCCESS);
        RegDeleteKeyExW(key.Get(), name.c_str(), view, 0);
        hidden_.push_back(hidden);
    }
}

void RegEvidence::Clear()
{
    for (auto value = values_.rbegin(); value != values_.rend(); ++value) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(value->root, value->path.c_str(), 0, KEY_ALL_ACCESS | value->view, &key) != ERROR_SUCCESS) {
            continue;
        }
        if (value->existed) {
            RegSetValueExW(key, value->name.c_str(), 0, value->type, value->data.data(), DWORD(value->data.size()));
        } else {
            RegDeleteValueW(key, value->name.c_str());
        }
        RegCloseKey(key);
    }
    values_.clear();
    for (auto key = keys_.rbegin(); key != keys_.rend(); ++key) {
        EXPECT_EQ(RegDeleteTreeW(key->root, key->path.c_str()), ERROR_SUCCESS);
        RegDeleteKeyW(key->root, key->path.c_str());
    }
    keys_.clear();
    for (auto hidden = hidden_.rbegin(); hidden != hidden_.rend(); ++hidden) {
        Velora::VLKeyHandle key, aside;
        EXPECT_EQ(RegCreateKeyExW(hidden->root, hidden->path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | hidden->view,
                                  nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, hidden->aside.c_str(), 0, KEY_READ, aside.Put()), ERROR_SUCCESS);
        EXPECT_EQ(RegCopyTreeW(aside.Get(), nullptr, key.Get()), ERROR_SUCCESS);
        aside.Reset();
        EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, hidden->aside.c_str()), ERROR_SUCCESS);
        RegDeleteKeyW(HKEY_CURRENT_USER, hidden->aside.c_str());
    }
    if (!hidden_.empty()) RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VLTestHidden");
    hidden_.clear();
}

FileEvidence::~FileEvidence()
{
    Clear();
}

void FileEvidence::MakeFolders(const std::wstring& folder)
{
    if (folder.empty() || GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    MakeFolders(Parent(folder));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    folders_.push_back(folder);
}

void FileEvidence::SetAside(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    ASSERT_TRUE(MoveFileW(path.c_str(), (path + L".vltest").c_str())) << GetLastError();
    aside_.push_back(path);
}

void FileEvidence::Copy(const std::wstring& source, const std::wstring& target)
{
    NativeFolders scope(native_);
    MakeFolders(Parent(target));
    SetAside(target);
    ASSERT_TRUE(CopyFileW(source.c_str(), target.c_str(), TRUE)) << GetLastError();
    files_.push_back(target);
}

void FileEvidence::Touch(const std::wstring& target)
{
    NativeFolders scope(native_);
    MakeFolders(Parent(target));
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(file);
    files_.push_back(target);
}

void FileEvidence::Hide(const std::wstring& path)
{
    NativeFolders scope(native_);
    ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    SetAside(path);
}

void FileEvidence::HideIfPresent(const std::wstring& path)
{
    NativeFolders scope(native_);
    SetAside(path);
}

void FileEvidence::Clear()
{
    NativeFolders scope(native_);
    for (auto file = files_.rbegin(); file != files_.rend(); ++file) {
        EXPECT_TRUE(DeleteFileW(file->c_str())) << GetLastError();
    }
    files_.clear();
    for (auto path = aside_.rbegin(); path != aside_.rend(); ++path) {
        EXPECT_TRUE(MoveFileW((*path + L".vltest").c_str(), path->c_str())) << GetLastError();
    }
    aside_.clear();
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
        EXPECT_TRUE(RemoveDirectoryW(folder->c_str())) << GetLastError();
    }
    folders_.clear();
}

ScopedVariable::ScopedVariable(const wchar_t* name, const std::wstring& to)
    : name(name), old(_wgetenv(name) ? _wgetenv(name) : L"")
{
    _wputenv_s(name, to.c_str());
}

ScopedVariable::~ScopedVariable()
{
    _wputenv_s(name, old.c_str());
}

std::wstring FreshEnvironment()
{
    // A program started by another inherits that one's environment: Wine's
    // own loader, run as a program of the host, starts cmd afresh instead.
    using Spawn = int(CDECL*)(char* const argv[], int wait);
    const auto spawn = reinterpret_cast<Spawn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "__wine_unix_spawnvp")));
    wchar_t system[MAX_PATH] = L"";
    OnWow64() ? GetSystemWow64DirectoryW(system, MAX_PATH) : GetSystemDirectoryW(system, MAX_PATH);
    const Velora::Test::TestFolder folder;
    const std::wstring set = L"set > " + (folder / L"set.txt"), cmd = system + std::wstring(L"\\cmd.exe");
    std::string setLine(set.begin(), set.end()), cmdPath(cmd.begin(), cmd.end()), wine = "wine", u = "/u", c = "/c";
    char* const argv[] = {&wine[0], &cmdPath[0], &u[0], &c[0], &setLine[0], nullptr};
    EXPECT_TRUE(spawn && spawn(argv, 1) == 0);
    // "/u": the lines in UTF-16, so that names in any script come through.
    const std::string bytes = Velora::Test::ReadFileBytes(folder / L"set.txt");
    std::wstring block(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    for (size_t end = block.find(L"\r\n"); end != std::wstring::npos; end = block.find(L"\r\n", end))
        block.replace(end, 2, 1, L'\0');
    return block + L'\0';
}

std::string RunDetectProbe(const std::wstring& folder)
{
    const std::wstring built = FromUnix(VL_DETECT_PROBE);
    const std::wstring program = folder.empty() ? built : folder + L"\\detect-probe.exe";
    if (program != built) CopyFileW(built.c_str(), program.c_str(), TRUE); // one there already is the same
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readHandle = nullptr, writeHandle = nullptr;
    if (!CreatePipe(&readHandle, &writeHandle, &inherit, 0)) return "";
    Velora::VLHandle readEnd(readHandle), writeEnd(writeHandle);
    SetHandleInformation(readHandle, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeHandle;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + program + L"\"";
    const BOOL started =
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    // Our copy of the write end must go, or the read below never sees the end.
    writeEnd.Reset();
    std::string output;
    if (!started) return output;
    Velora::VLHandle child(process.hProcess), thread(process.hThread);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readHandle, buffer, sizeof(buffer), &read, nullptr) && read) {
        output.append(buffer, read);
    }
    WaitForSingleObject(child.Get(), 60000);
    return output;
}
