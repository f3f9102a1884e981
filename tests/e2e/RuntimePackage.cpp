// runtime-package <folder> <fakes folder> <step program> <id>...: writes
// <folder>\<id>.vlz for each runtime, with the files and registry data its
// detector looks for. A system-folder library ships as the detection tests'
// fake, and its script works on the package's own files as a runtime's own
// installer would, ending with the step program that checks it did.
#include "base/Buffer.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <cstdio>
#include <cwchar>

using namespace Velora;
using namespace Velora::Test;

namespace {

struct RuntimePackage {
    int id;
    const wchar_t* folder;   // "vlfolder", below the install folder
    const wchar_t* registry; // the keys of ".reg" text, or null
    const wchar_t* library;  // its name in the system folder, or null
    const wchar_t* fake;     // the detection tests' file that stands in for it
};

const RuntimePackage kPackages[] = {
    {40020, L"Java\\jre6",
     L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment]\r\n"
     L"\"CurrentVersion\"=\"1.6\"\r\n\r\n"
     L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.6]\r\n"
     L"\"JavaHome\"=\"##install##\"\r\n"
     L"\"RuntimeLib\"=\"##install##\\\\bin\\\\client\\\\jvm.dll\"\r\n\r\n",
     nullptr, nullptr},
    {40019, L"GFWLive", nullptr, L"xlive.dll", L"xlive.dll"},
    {40023, L"PhysX",
     L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\AGEIA Technologies]\r\n"
     L"\"PhysX Version\"=dword:02080404\r\n\r\n",
     L"PhysXLoader.dll", L"physxloader.dll"},
};

bool Write(const RuntimePackage& package, const std::wstring& folder, const std::wstring& fakes,
           const std::wstring& step)
{
    VLBufferWriter meta;
    meta.WriteStringMap({{L"vlfolder", package.folder}});
    PackageWriter writer;
    PackageEntry& root = writer.root;
    root.Add(Inline(L"vlmeta", std::string(reinterpret_cast<const char*>(meta.target->data), meta.target->size)));
    if (package.registry)
        root.Add(File(L"##reg##.reg",
                      Utf16File(std::wstring(L"Windows Registry Editor Version 5.00\r\n\r\n") + package.registry),
                      kMethodZlib));
    if (package.library) {
        const std::string library = ReadFileBytes(fakes + L"\\" + package.fake), program = ReadFileBytes(step);
        if (library.empty() || program.empty()) return false;
        root.Add(Folder(L"##windows##", {Folder(L"system32", {File(package.library, library, kMethodLzma)})}));
        root.Add(File(L"setup.ini", "[Install]\r\nPath=\r\n"));
        root.Add(File(L"readme.txt", "Read me before the install, not after.\r\n", kMethodZlib));
        root.Add(File(L"data.cab", SampleBytes(20000, package.id), kMethodSolid));
        root.Add(File(L"finish.exe", program, kMethodSolid));
        root.Add(File(L"##tasks##.txt",
                      Utf16File(L"ini WriteINIStr \"##install##\\setup.ini\" Install Path \"##install##\"\r\n"
                                L"DeleteFile \"##install##\\readme.txt\"\r\n"
                                L"runcheck 0 \"##install##\\finish.exe\"\r\n")));
    } else {
        root.Add(Folder(L"bin", {Folder(L"client", {File(L"jvm.dll", SampleBytes(300000, 6), kMethodLzma)}),
                                 File(L"java.exe", SampleBytes(50000, 7), kMethodSolid)}));
        root.Add(File(L"release", "JAVA_VERSION=\"1.6.0\"\r\n", kMethodSolid));
    }
    return writer.WriteTo(folder + L"\\" + std::to_wstring(package.id) + L".vlz");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: runtime-package <folder> <fakes folder> <step program> <id>...\n");
        return 2;
    }
    for (int i = 4; i < argc; ++i) {
        const RuntimePackage* found = nullptr;
        for (const RuntimePackage& package : kPackages)
            if (package.id == _wtoi(argv[i])) found = &package;
        if (!found || !Write(*found, argv[1], argv[2], argv[3])) {
            std::fprintf(stderr, "runtime-package: cannot write the package of %ls\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
