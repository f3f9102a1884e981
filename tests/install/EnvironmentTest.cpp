#include "install/Environment.h"

#include "InstallTestUtil.h"
#include "base/StringUtil.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

using Test::GetVariable;
using Test::SavedVariable;

const wchar_t kMachineKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// A value under one of the two environment keys, put back (or removed) when
// the test ends.
class EnvironmentValue {
public:
    EnvironmentValue(HKEY root, const wchar_t* key, const std::wstring& name) : root_(root), key_(key), name_(name)
    {
        VLRegHandle handle;
        VLRegValue value;
        if (handle.Open(root, key, KEY_READ) && handle.QueryValue(name, value)) saved_ = value;
    }
    ~EnvironmentValue()
    {
        VLRegHandle handle;
        if (!handle.Create(root_, key_)) return;
        if (saved_)
            handle.SetValue(name_, *saved_);
        else
            RegDeleteValueW(handle.key.Get(), name_.c_str());
    }
    void Set(DWORD type, const std::wstring& text)
    {
        VLRegValue value(type, name_);
        value.text = text;
        Write(value);
    }
    void SetDword(DWORD number)
    {
        VLRegValue value(REG_DWORD, name_);
        value.dwordValue = number;
        Write(value);
    }
    void Remove()
    {
        VLRegHandle handle;
        if (handle.Open(root_, key_, KEY_READ | KEY_WRITE)) RegDeleteValueW(handle.key.Get(), name_.c_str());
    }

private:
    void Write(const VLRegValue& value)
    {
        VLRegHandle handle;
        ASSERT_TRUE(handle.Create(root_, key_));
        ASSERT_TRUE(handle.SetValue(name_, value));
    }

    HKEY root_;
    std::wstring key_;
    std::wstring name_;
    std::optional<VLRegValue> saved_;
};

std::wstring UniqueName()
{
    return L"VLTEST_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
}

TEST(ExpandEnvironment, ReplacesDefinedReferencesOnly)
{
    const std::wstring name = UniqueName();
    SavedVariable saved(name);
    SetEnvironmentVariableW(name.c_str(), L"C:\\base");
    EXPECT_EQ(ExpandEnvironment(L"%" + name + L"%\\a"), L"C:\\base\\a");
    EXPECT_EQ(ExpandEnvironment(L"no reference"), L"no reference");
    EXPECT_EQ(ExpandEnvironment(L"%VLTEST_UNDEFINED_VARIABLE%\\a"), L"%VLTEST_UNDEFINED_VARIABLE%\\a");
    EXPECT_EQ(ExpandEnvironment(L"100%"), L"100%");
    EXPECT_EQ(ExpandEnvironment(L""), L"");
}

TEST(ReloadEnvironmentVariable, TakesTextValuesFromTheMachineKey)
{
    const std::wstring name = UniqueName();
    const std::wstring base = name + L"_BASE";
    SavedVariable savedName(name), savedBase(base);
    EnvironmentValue machine(HKEY_LOCAL_MACHINE, kMachineKey, name);
    SetEnvironmentVariableW(base.c_str(), L"C:\\base");

    machine.Set(REG_SZ, L"C:\\m");
    EXPECT_TRUE(ReloadEnvironmentVariable(name));
    EXPECT_EQ(GetVariable(name), L"C:\\m");

    // Expandable values reach programs expanded, as the shell hands them on.
    machine.Set(REG_EXPAND_SZ, L"%" + base + L"%\\bin");
    EXPECT_TRUE(ReloadEnvironmentVariable(name));
    EXPECT_EQ(GetVariable(name), L"C:\\base\\bin");

    SetEnvironmentVariableW(name.c_str(), L"kept");
    machine.SetDword(7);
    EXPECT_FALSE(ReloadEnvironmentVariable(name));
    EXPECT_EQ(GetVariable(name), L"kept");
    machine.Remove();
    EXPECT_FALSE(ReloadEnvironmentVariable(name));
    EXPECT_EQ(GetVariable(name), L"kept");
}

TEST(ReloadEnvironmentVariable, PathPutsTheUserPartFirst)
{
    SavedVariable savedPath(L"Path");
    EnvironmentValue machine(HKEY_LOCAL_MACHINE, kMachineKey, L"Path");
    EnvironmentValue user(HKEY_CURRENT_USER, L"Environment", L"Path");
    machine.Set(REG_SZ, L"C:\\m");
    user.Set(REG_SZ, L"C:\\u");
    EXPECT_TRUE(ReloadEnvironmentVariable(L"PATH"));
    EXPECT_EQ(GetVariable(L"Path"), L"C:\\u;C:\\m");

    user.Set(REG_SZ, L"");
    EXPECT_TRUE(ReloadEnvironmentVariable(L"Path"));
    EXPECT_EQ(GetVariable(L"Path"), L"C:\\m");

    user.Remove();
    EXPECT_TRUE(ReloadEnvironmentVariable(L"Path"));
    EXPECT_EQ(GetVariable(L"Path"), L"C:\\m");
}

} // namespace
} // namespace Velora
