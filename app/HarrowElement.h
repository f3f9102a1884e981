// One row of the main window's list: a runtime's check box (or, while it is
// being repaired, a busy image), its logo, name, package size and state text.
// The row keeps its own copy of the catalogue record.
#pragma once

#include "app/HarrowWndIds.h"
#include "detect/SoftwareDetect.h"
#include "ui/core/HorizontalLayout.h"

#include <cstdint>
#include <string>

namespace Velora {

class VLOption;

enum class RuntimeRowState : int {
    Unchecked = 0,
    Installed = 1,
    Missing = 2, // found missing by the check
    Queued = 3,  // missing, ticked for the repair in hand
    Repaired = 4,
    RepairFailed = 5,
    Repairing = 6,
};

constexpr int kRowHeight = 80;

class VLHarrowElement : public VLHorizontalLayout {
public:
    // Builds the children; their fonts are the manager's markup fonts.
    VLHarrowElement(VLPaintManager* manager, const VLSoftwareDetect& record);
    // A copy has the source's title, state, tick, check-box visibility and size.
    VLHarrowElement(const VLHarrowElement& source);
    VLHarrowElement& operator=(const VLHarrowElement&) = delete;

    // A row answers its shortcut like a click on it.
    bool Activate(VLControlEvent& event) override;

    const VLSoftwareDetect& GetRecord() const { return record_; }
    const std::wstring& GetTitle() const;
    RuntimeRowState GetState() const { return state_; }
    // A value beyond the repairing state is kept and changes nothing.
    void SetState(RuntimeRowState state);
    uint64_t GetPackageSize() const { return packageSize_; }
    void SetPackageSize(uint64_t size);
    // The background alternates with the row's position in its list.
    void SetStripeImage();

    VLOption* GetCheckBox() const { return checkBox_; }
    VLControl* GetBusyImage() const { return busyImage_; }
    VLControl* GetStatusLabel() const { return statusLabel_; }
    VLControl* GetSizeLabel() const { return sizeLabel_; }
    bool IsTicked() const;
    void SetTicked(bool ticked);

private:
    void Build();

    VLSoftwareDetect record_;
    VLOption* checkBox_ = nullptr;
    VLControl* busyImage_ = nullptr;
    VLControl* titleLabel_ = nullptr;
    VLControl* sizeLabel_ = nullptr;
    VLControl* statusLabel_ = nullptr;
    RuntimeRowState state_ = RuntimeRowState::Unchecked;
    uint64_t packageSize_ = 0;
};

} // namespace Velora
