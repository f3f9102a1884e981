// java-package <file.vlz>: writes the Java runtime's package for whole-program
// runs in the program's own format: the runtime's files below the install
// folder, and the registry data that makes the Java detector find them.
#include "base/Buffer.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <cstdio>

using namespace Velora;
using namespace Velora::Test;

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: java-package <file.vlz>\n");
        return 2;
    }
    VLBufferWriter meta;
    meta.WriteStringMap({{L"vlfolder", L"Java\\jre6"}});
    const std::wstring registry =
        L"Windows Registry Editor Version 5.00\r\n\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment]\r\n"
        L"\"CurrentVersion\"=\"1.6\"\r\n\r\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.6]\r\n"
        L"\"JavaHome\"=\"##install##\"\r\n"
        L"\"RuntimeLib\"=\"##install##\\\\bin\\\\client\\\\jvm.dll\"\r\n\r\n";

    PackageWriter writer;
    const std::string metaBytes(reinterpret_cast<const char*>(meta.target->data), meta.target->size);
    writer.root.Add(Inline(L"vlmeta", metaBytes));
    writer.root.Add(File(L"##reg##.reg", Utf16File(registry), kMethodZlib));
    writer.root.Add(Folder(L"bin", {Folder(L"client", {File(L"jvm.dll", SampleBytes(300000, 6), kMethodLzma)}),
                                    File(L"java.exe", SampleBytes(50000, 7), kMethodSolid)}));
    writer.root.Add(File(L"release", "JAVA_VERSION=\"1.6.0\"\r\n", kMethodSolid));
    return writer.WriteTo(argv[1]) ? 0 : 1;
}
