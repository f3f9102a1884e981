#include "app/HarrowStatusRecord.h"

#include <algorithm>

namespace Velora {

HarrowStatusRecord HarrowStatusRecord::MakePair(HarrowStatusType type, int32_t value1, int32_t value2)
{
    HarrowStatusRecord record;
    record.type = type;
    record.payload.pair = {value1, value2};
    return record;
}

HarrowStatusRecord HarrowStatusRecord::MakeNamed(HarrowStatusType type, int32_t value1, const std::wstring& name)
{
    HarrowStatusRecord record;
    record.type = type;
    record.payload.named.value1 = value1;
    const size_t length = std::min(name.size(), kStatusNameLength - 1);
    std::copy_n(name.begin(), length, record.payload.named.name);
    record.payload.named.name[length] = L'\0';
    return record;
}

HarrowStatusRecord HarrowStatusRecord::MakeProgress(uint64_t total, uint64_t downloaded, uint64_t speed)
{
    HarrowStatusRecord record;
    record.type = HarrowStatusType::STATUS_DOWNLOAD_PROGRESS;
    record.payload.progress = {total, downloaded, speed};
    return record;
}

} // namespace Velora
