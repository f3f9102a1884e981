// reg-probe: drives the installer's ".reg" reader, writer and registry apply
// from the command line, so their behaviour can be checked by hand against
// the system's own registry tools.
//
//   reg-probe import <file.reg>          apply the file in one transaction
//   reg-probe export <root\key> <file.reg>  write the key tree as ".reg" text
//
// Exit status 0 on success, 1 when the operation failed, 2 for bad usage.
#include "base/File.h"
#include "install/RegParser.h"
#include "install/RegTextWriter.h"
#include "install/RegTransaction.h"

#include <cstdio>
#include <cwchar>
#include <exception>

using namespace Velora;

namespace {

int Import(const wchar_t* file)
{
    VLRegParser parser;
    try {
        parser.LoadFile(file);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "reg-probe: cannot read the file: %s\n", error.what());
        return 1;
    }
    VLRegTransaction transaction;
    if (!transaction.Apply(parser.keys)) {
        const VLRegException error = transaction.GetLastError();
        std::fwprintf(stderr, L"reg-probe: apply failed with error %u at \"%ls\"; ", unsigned(error.errorCode),
                      error.keyName.c_str());
        const VLRegException undo = transaction.GetRollbackError();
        if (transaction.IsRolledBack())
            std::fwprintf(stderr, L"rolled back\n");
        else
            std::fwprintf(stderr, L"rollback incomplete, error %u at \"%ls\"\n", unsigned(undo.errorCode),
                          undo.keyName.c_str());
        return 1;
    }
    std::printf("applied %u keys\n", unsigned(parser.keys.size()));
    return 0;
}

int Export(const wchar_t* name, const wchar_t* file)
{
    VLRegKey key;
    if (!key.ParseName(name) || key.deleteKey || !key.HasTarget()) {
        std::fwprintf(stderr, L"reg-probe: \"%ls\" names no key below a known root\n", name);
        return 2;
    }
    VLBuffer<unsigned char> text;
    try {
        ReadRegKeyTree(key);
        VLRegTextWriter writer(text, L"\r\n");
        writer.WriteKey(key);
    } catch (const VLRegException& error) {
        std::fwprintf(stderr, L"reg-probe: reading failed with error %u at \"%ls\"\n",
                      unsigned(error.errorCode), error.keyName.c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "reg-probe: cannot write the key: %s\n", error.what());
        return 1;
    }
    VLFile out;
    DWORD written = 0;
    if (!out.Open(file, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL) ||
        !out.Write(text.data, text.size, &written) || !out.Close()) {
        std::fwprintf(stderr, L"reg-probe: cannot write \"%ls\" (error %lu)\n", file,
                      GetLastError());
        return 1;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"import") == 0) return Import(argv[2]);
    if (argc == 4 && std::wcscmp(argv[1], L"export") == 0) return Export(argv[2], argv[3]);
    std::fprintf(stderr, "usage: reg-probe import <file.reg>\n"
                         "       reg-probe export <root\\key> <file.reg>\n");
    return 2;
}
