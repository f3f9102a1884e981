// The plain-file unit against real files: a file with a second name (a hard
// link) is refused whatever the access, while a file with one name, and a
// folder, open for reading, writing and their attributes.
#include "base/PlainFile.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace Velora {
namespace {

using Velora::Test::TestFolder;
using Velora::Test::WriteFileBytes;

TEST(PlainFile, ASecondNameIsRefusedWhateverTheAccess)
{
    TestFolder folder, outside;
    ASSERT_TRUE(WriteFileBytes(folder / L"own.dat", "own") && WriteFileBytes(outside / L"victim.dat", "victim"));
    ASSERT_TRUE(CreateHardLinkW((folder / L"linked.dat").c_str(), (outside / L"victim.dat").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    const DWORD accesses[] = {GENERIC_READ, GENERIC_WRITE, FILE_READ_ATTRIBUTES,
                              DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES};
    struct Case {
        const wchar_t* name;
        DWORD error; // 0 when it opens
    };
    const Case cases[] = {{L"own.dat", 0}, {L"sub", 0}, {L"linked.dat", ERROR_TOO_MANY_LINKS}};
    for (const Case& c : cases) {
        for (DWORD access : accesses) {
            VLPlainFile file;
            const bool opened = file.Open(folder / c.name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
            EXPECT_EQ(c.error == 0, opened) << c.name << " " << std::hex << access;
            if (!opened) {
                EXPECT_EQ(c.error, GetLastError()) << c.name << " " << std::hex << access;
            }
        }
    }
    // Nor is a second name made writable by opening it to be emptied.
    VLPlainFile file;
    EXPECT_FALSE(file.Open(folder / L"linked.dat", GENERIC_WRITE, 0, CREATE_ALWAYS));
    std::string victim;
    EXPECT_TRUE(Velora::Test::ReadFileBytes(outside / L"victim.dat", victim) && victim == "victim");
}

} // namespace
} // namespace Velora
