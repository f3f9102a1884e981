// "VLUnistall.dat": what a later uninstall or reinstall needs to know of an
// install. "VLUT", a version byte, then blocks of a 4-byte length and that
// many bytes: created paths, registry backup, script lines, registry text,
// meta map (version 1 records hold the first two only).
#include "install/SfxInstall.h"

#include "base/FileUtil.h"
#include "base/PlainFile.h"

#include <cstring>

namespace Velora {

namespace {

const char kMagic[4] = {'V', 'L', 'U', 'T'};
const unsigned char kVersion = 2;
const uint32_t kMaxBlock = 0xA00000;

bool WriteBlock(const VLBuffer<unsigned char>& block, VLFile& file)
{
    DWORD written = 0;
    if (!file.Write(&block.size, 4, &written)) return false;
    return block.size == 0 || file.Write(block.data, block.size, &written);
}

bool ReadBlock(VLFile& file, uint32_t& length, VLBuffer<unsigned char>& block)
{
    DWORD got = 0;
    if (!file.Read(&length, 4, &got) || got != 4 || length > kMaxBlock) return false;
    block.size = 0;
    if (length == 0) return true;
    block.SetCapacity(length);
    if (!file.Read(block.data, length, &got) || got != length) return false;
    block.size = length;
    return true;
}

} // namespace

bool VLSfxInstall::WriteUninstallRecord(const std::wstring& path)
{
    // Written where the path says, never through a link at its name.
    VLPlainFile plain;
    VLFile& file = plain.file;
    if (!plain.Open(path, FILE_GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_ALWAYS)) return false;
    DWORD written = 0;
    VLBufferWriter script;
    script.WriteStrings(scriptLines_);
    VLBufferWriter meta;
    meta.WriteStringMap(meta_);
    if (file.Write(kMagic, sizeof(kMagic), &written) && file.Write(&kVersion, 1, &written) &&
        WriteBlock(pathList_, file) && WriteBlock(registryBackup_, file) && WriteBlock(*script.target, file) &&
        WriteBlock(registryText_, file) && WriteBlock(*meta.target, file) && file.Close())
        return true;
    // A partial record would mislead whoever reads it later.
    const DWORD error = GetLastError();
    plain.Delete();
    SetLastError(error);
    return false;
}

bool VLSfxInstall::PutUninstallRecord(const std::wstring& path)
{
    return (!FileExists(path) || RemoveExistingFile(path)) && WriteUninstallRecord(path);
}

bool VLSfxInstall::ReadUninstallRecord(const std::wstring& path, std::vector<std::wstring>& paths,
                                       VLBuffer<unsigned char>& registryBackup,
                                       std::map<std::wstring, std::wstring>& meta,
                                       std::vector<std::wstring>& scriptLines, VLBuffer<unsigned char>& registryText)
{
    VLPlainFile plain;
    VLFile& file = plain.file;
    if (!plain.Open(path, FILE_GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) return false;
    char magic[4];
    unsigned char version = 0;
    DWORD got = 0;
    if (!file.Read(magic, 4, &got) || got != 4 || std::memcmp(magic, kMagic, 4) != 0) return false;
    if (!file.Read(&version, 1, &got) || got != 1 || version == 0) return false;

    uint32_t length = 0;
    VLBuffer<unsigned char> block;
    if (!ReadBlock(file, length, block) || !DecodePathList(block, paths)) return false;
    if (!ReadBlock(file, length, registryBackup)) return false;
    if (version < 2) return true;
    if (!ReadBlock(file, length, block)) return false;
    if (length != 0) {
        VLBufferReader reader{block.data, block.size, 0};
        scriptLines = reader.ReadStrings();
    }
    if (!ReadBlock(file, length, registryText)) return false;
    if (!ReadBlock(file, length, block)) return false;
    if (length != 0) {
        VLBufferReader reader{block.data, block.size, 0};
        meta = reader.ReadStringMap();
    }
    return true;
}

} // namespace Velora
