// The resume state file beside a partial HTTP download (target + ".vll"): a
// fixed block describing the download, then one record per byte range.
// Little-endian, nothing padded; every byte of it is stored as laid out here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

#pragma pack(push, 1)
struct VLStoredBlock {
    wchar_t mainHost[1024];  // NUL-terminated, zero-filled
    wchar_t mainPath[1024];  // from the first '/' after the host, query included
    wchar_t spareHost[1024]; // empty without a spare address
    wchar_t sparePath[1024];
    wchar_t targetPath[260];
    wchar_t dataPath[260];   // target + ".vlt"
    wchar_t statePath[260];  // target + ".vll"
    wchar_t md5[32];         // the first 32 units of the answer's Md5, no terminator
    uint16_t mainPort;
    uint16_t sparePort;
    uint32_t unused1;
    uint64_t totalSize;
    uint64_t downloaded;     // recomputed from the records when read
    uint32_t rangeCount;
    uint32_t unused2;
};

struct VLRangeRecord {
    uint64_t start;
    uint64_t length;
    uint64_t position;  // start + bytes received
    uint64_t remaining; // length - bytes received
    uint32_t seconds;   // time spent downloading this range
    uint32_t unused;
};
#pragma pack(pop)

static_assert(sizeof(wchar_t) == 2, "the state file stores UTF-16");
static_assert(sizeof(VLStoredBlock) == 9848, "state block layout");
static_assert(sizeof(VLRangeRecord) == 40, "range record layout");

// More ranges than this in a state file mean it was not written by us.
constexpr uint32_t kMaxRanges = 64;

uint64_t RangeRecordOffset(uint32_t index);

// Copies text into a fixed field with its terminator; false when it does not fit.
bool StoreText(wchar_t* field, size_t fieldChars, const std::wstring& text);
// The text up to the terminator; false when the field has none.
bool ReadText(const wchar_t* field, size_t fieldChars, std::wstring& text);

// Splits total bytes into count ranges: each but the last gets total / count,
// the last the rest.
std::vector<VLRangeRecord> SplitRanges(uint64_t total, uint32_t count);

bool WriteStateFile(const std::wstring& path, const VLStoredBlock& block,
                    const std::vector<VLRangeRecord>& ranges);
// Reads and checks a state file: the exact size for its range count, ranges
// that tile the file from byte 0, positions that agree with what is left, and
// paths that agree with each other. downloaded is recomputed.
bool ReadStateFile(const std::wstring& path, VLStoredBlock& block,
                   std::vector<VLRangeRecord>& ranges);

} // namespace Velora
