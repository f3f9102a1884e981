#include "download/ResumeState.h"

#include "base/PlainFile.h"
#include "base/StringUtil.h"

#include <cstring>

namespace Velora {

uint64_t RangeRecordOffset(uint32_t index)
{
    return sizeof(VLStoredBlock) + uint64_t(sizeof(VLRangeRecord)) * index;
}

bool StoreText(wchar_t* field, size_t fieldChars, const std::wstring& text)
{
    std::memset(field, 0, fieldChars * sizeof(wchar_t));
    if (text.size() >= fieldChars) return false;
    std::memcpy(field, text.data(), text.size() * sizeof(wchar_t));
    return true;
}

bool ReadText(const wchar_t* field, size_t fieldChars, std::wstring& text)
{
    for (size_t i = 0; i < fieldChars; ++i) {
        if (field[i] == 0) {
            text.assign(field, i);
            return true;
        }
    }
    return false;
}

std::vector<VLRangeRecord> SplitRanges(uint64_t total, uint32_t count)
{
    if (count < 2) count = 1;
    std::vector<VLRangeRecord> ranges(count);
    const uint64_t share = total / count;
    for (uint32_t i = 0; i < count; ++i) {
        VLRangeRecord& range = ranges[i];
        range = VLRangeRecord{};
        range.start = share * i;
        range.length = i + 1 < count ? share : total - share * (count - 1);
        range.position = range.start;
        range.remaining = range.length;
    }
    return ranges;
}

bool WriteStateFile(const std::wstring& path, const VLStoredBlock& block,
                    const std::vector<VLRangeRecord>& ranges)
{
    VLPlainFile plain;
    if (!plain.Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS)) return false;
    VLFile& file = plain.file;
    DWORD written = 0;
    if (!file.Write(&block, sizeof(block), &written)) return false;
    for (const VLRangeRecord& range : ranges) {
        if (!file.Write(&range, sizeof(range), &written)) return false;
    }
    return true;
}

namespace {

bool PathsAgree(const VLStoredBlock& block)
{
    std::wstring host, path, spareHost, sparePath, target, data, state;
    if (!ReadText(block.mainHost, 1024, host) || !ReadText(block.mainPath, 1024, path) ||
        !ReadText(block.spareHost, 1024, spareHost) || !ReadText(block.sparePath, 1024, sparePath) ||
        !ReadText(block.targetPath, 260, target) || !ReadText(block.dataPath, 260, data) ||
        !ReadText(block.statePath, 260, state)) {
        return false;
    }
    return !host.empty() && !target.empty() && CompareNoCase(data, target + L".vlt") == 0 &&
           CompareNoCase(state, target + L".vll") == 0;
}

} // namespace

bool ReadStateFile(const std::wstring& path, VLStoredBlock& block,
                   std::vector<VLRangeRecord>& ranges)
{
    VLPlainFile plain;
    if (!plain.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING)) return false;
    VLFile& file = plain.file;
    uint64_t fileSize = 0;
    DWORD got = 0;
    VLStoredBlock read;
    if (!file.GetSize(fileSize) || fileSize < sizeof(read)) return false;
    if (!file.Read(&read, sizeof(read), &got) || got != sizeof(read)) return false;
    if (read.rangeCount < 1 || read.rangeCount > kMaxRanges) return false;
    if (fileSize != RangeRecordOffset(read.rangeCount)) return false;
    if (!PathsAgree(read)) return false;

    std::vector<VLRangeRecord> records(read.rangeCount);
    uint64_t nextStart = 0;
    uint64_t received = 0;
    for (VLRangeRecord& range : records) {
        if (!file.Read(&range, sizeof(range), &got) || got != sizeof(range)) return false;
        // Ranges tile the file from byte 0 and each position agrees with what
        // is left of it: nothing can point a write outside its own range.
        if (range.start != nextStart || range.remaining > range.length ||
            range.length > read.totalSize - range.start ||
            range.position != range.start + (range.length - range.remaining)) {
            return false;
        }
        nextStart += range.length;
        received += range.length - range.remaining;
    }
    if (nextStart != read.totalSize) return false;
    read.downloaded = received;
    block = read;
    ranges = records;
    return true;
}

} // namespace Velora
