#include "download/WaitLimits.h"

#include <mutex>

namespace Velora {

namespace {

std::mutex limitsLock;
VLWaitLimits limits;

} // namespace

VLWaitLimits GetWaitLimits()
{
    std::lock_guard<std::mutex> guard(limitsLock);
    return limits;
}

void SetWaitLimitsForTests(const VLWaitLimits& changed)
{
    std::lock_guard<std::mutex> guard(limitsLock);
    limits = changed;
}

} // namespace Velora
