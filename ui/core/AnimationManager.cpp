#include "ui/core/AnimationManager.h"

#include "ui/core/Control.h"
#include "ui/core/PaintManager.h"
#include "ui/core/RenderEngine.h"

#include <cmath>

namespace Velora {

namespace {

uint32_t PeriodOf(int32_t type)
{
    switch (type) {
    case kEffectMove: return 10;
    case kEffectSourceSlide: return 100;
    case kEffectRollText: return 35;
    case kEffectRock:
    case kEffectRotate: return 40;
    default: return 0;
    }
}

// A frame counter given by the caller may be negative; the cycle index never is.
size_t CycleIndex(int32_t frame, size_t count)
{
    const long long n = static_cast<long long>(count);
    return static_cast<size_t>(((frame % n) + n) % n);
}

bool FramesLeft(const VLAnimationItem& item) { return item.frameLimit == 0 || item.frame <= item.frameLimit; }

} // namespace

VLAnimationManager::~VLAnimationManager() { StopAll(); }

VLAnimationManager::EntryIt VLAnimationManager::Find(VLControl* control, int32_t type)
{
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->item->control == control && it->item->type == type) return it;
    }
    return entries_.end();
}

VLAnimationManager::EntryIt VLAnimationManager::FindSerial(uint64_t serial)
{
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->serial == serial) return it;
    }
    return entries_.end();
}

VLAnimationItem* VLAnimationManager::FindItem(VLControl* control, int32_t type)
{
    const auto it = Find(control, type);
    return it == entries_.end() ? nullptr : it->item.get();
}

bool VLAnimationManager::UsesTimer(uint32_t timerId) const
{
    for (const Entry& entry : entries_) {
        if (entry.item->timerId == timerId) return true;
    }
    return false;
}

std::unique_ptr<VLAnimationItem> VLAnimationManager::Remove(EntryIt it)
{
    std::unique_ptr<VLAnimationItem> item = std::move(it->item);
    entries_.erase(it);
    ::KillTimer(item->window, item->timerId);
    return item;
}

bool VLAnimationManager::StartAnimation(VLControl* control, int32_t type, std::unique_ptr<VLAnimationItem> item)
{
    VLPaintManager* manager = control ? control->GetManager() : nullptr;
    if (!manager || !manager->GetWindow() || !IsWindow(manager->GetWindow())) return false;
    if (Find(control, type) != entries_.end()) return false;
    if (!item) item = std::make_unique<VLAnimationItem>();
    item->control = control;
    item->window = manager->GetWindow();
    item->type = type;
    item->period = PeriodOf(type);
    if (type == kEffectRollText) {
        item->rollStep = 1;
        item->restoreOnStop = true;
    } else if (type == kEffectRock) {
        item->restoreOnStop = true;
        item->finalAngle = VLRenderEngine::GetDescriptorRotate(control->effectDescriptor);
        item->angles.insert(item->angles.end(), {3.0, 0.0, -3.0, 0.0});
    }
    const int32_t timerId = manager->SetRawTimer(item->period);
    if (timerId == -1) return false;
    item->timerId = static_cast<uint32_t>(timerId);
    entries_.push_back({nextSerial_++, std::move(item)});
    return true;
}

bool VLAnimationManager::StopAnimation(VLControl* control, int32_t type)
{
    if (!control || !control->GetManager()) return false;
    const auto it = Find(control, type);
    if (it == entries_.end()) return false;
    // Out of the list before anything is told, so a listener sees the effect
    // ended and cannot stop it twice.
    const std::unique_ptr<VLAnimationItem> item = Remove(it);
    if (item->restoreOnStop) ApplyFinalState(*item);
    if (type == kEffectMove) control->NotifyEffectEnd();
    return true;
}

void VLAnimationManager::StopAll()
{
    while (!entries_.empty()) Remove(entries_.begin());
}

void VLAnimationManager::DropControl(VLControl* control)
{
    for (auto it = entries_.begin(); it != entries_.end();) {
        const auto next = std::next(it);
        if (it->item->control == control) Remove(it);
        it = next;
    }
}

void VLAnimationManager::OnTimer(uint32_t timerId)
{
    // A step may notify a listener that starts or stops effects: walk a
    // snapshot and look each entry up again before touching it.
    std::vector<uint64_t> due;
    for (const Entry& entry : entries_) {
        if (entry.item->timerId == timerId) due.push_back(entry.serial);
    }
    std::vector<uint64_t> ended;
    for (uint64_t serial : due) {
        const auto it = FindSerial(serial);
        if (it != entries_.end() && !StepItem(*it->item)) ended.push_back(serial);
    }
    // The last step already put the control into its final state; a move
    // reports its end once it is out of the list.
    for (uint64_t serial : ended) {
        const auto it = FindSerial(serial);
        if (it == entries_.end()) continue;
        const std::unique_ptr<VLAnimationItem> item = Remove(it);
        if (item->type == kEffectMove) item->control->NotifyEffectEnd();
    }
}

bool VLAnimationManager::StepMove(VLAnimationItem& item)
{
    VLControl* control = item.control;
    const int n = item.frameLimit;
    const int t = item.frame;
    if (t >= n) {
        control->SetFixedXY(item.targetX, item.targetY);
        control->MarkParentForLayout();
        control->Invalidate();
        return false;
    }
    const auto place = [&](int start, int target) {
        const int d = target - start;
        if (item.linear) return start + d * t / n;
        const double eased = 2.0 * d * t / n - static_cast<double>(d) * t * t / (static_cast<double>(n) * n);
        return start + static_cast<int>(std::lround(eased));
    };
    const int x = place(item.startX, item.targetX);
    const int y = place(item.startY, item.targetY);
    item.frame += 1;
    control->SetFixedXY(x, y);
    control->MarkParentForLayout();
    control->Invalidate();
    return true;
}

bool VLAnimationManager::StepItem(VLAnimationItem& item)
{
    VLControl* control = item.control;
    switch (item.type) {
    case kEffectMove: return StepMove(item);
    case kEffectSourceSlide:
        if (!FramesLeft(item)) break;
        if (!item.sources.empty())
            VLRenderEngine::SetDescriptorSource(control->effectDescriptor,
                                                item.sources[CycleIndex(item.frame, item.sources.size())]);
        item.frame += 1;
        control->Invalidate();
        return true;
    case kEffectRollText:
        if (!FramesLeft(item)) break;
        item.frame += item.rollStep;
        VLRenderEngine::SetDescriptorRollText(control->effectDescriptor, item.frame);
        control->Invalidate();
        return true;
    case kEffectRock:
    case kEffectRotate:
        if (!FramesLeft(item)) break;
        if (!item.angles.empty())
            VLRenderEngine::SetDescriptorRotate(control->effectDescriptor,
                                                item.angles[CycleIndex(item.frame, item.angles.size())]);
        item.frame += 1;
        control->Invalidate();
        return true;
    default: return true;
    }
    if (item.restoreOnStop) ApplyFinalState(item);
    return false;
}

void VLAnimationManager::ApplyFinalState(VLAnimationItem& item)
{
    VLControl* control = item.control;
    switch (item.type) {
    case kEffectMove:
        control->SetFixedXY(item.targetX, item.targetY);
        control->MarkParentForLayout();
        break;
    case kEffectSourceSlide: VLRenderEngine::SetDescriptorSource(control->effectDescriptor, item.finalSource); break;
    case kEffectRollText: VLRenderEngine::SetDescriptorRollText(control->effectDescriptor, 0); break;
    case kEffectRock:
    case kEffectRotate: VLRenderEngine::SetDescriptorRotate(control->effectDescriptor, item.finalAngle); break;
    default: return;
    }
    control->Invalidate();
}

} // namespace Velora
