// A drop-down selector: it keeps its choices apart from its ordinary
// children, shows none of them itself, and on activation opens a pop-up list
// of them. Choosing one closes the pop-up, records its index and tells the
// window.
#pragma once

#include "ui/core/Container.h"

#include <vector>

namespace Velora {

class VLComboWnd;

// The combo's pop-up opened; the choice changed (wParam the new index,
// lParam the previous one).
constexpr int32_t kNotifyDropDown = 20;
constexpr int32_t kNotifyItemSelect = 21;

class VLCombo : public VLContainer {
public:
    // An open pop-up goes first: it holds the items.
    ~VLCombo() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void OnLButtonDown(VLControlEvent& event) override;
    void OnLButtonUp(VLControlEvent& event) override;
    void OnKeyDown(VLControlEvent& event) override;
    // Opens the pop-up.
    bool Activate(VLControlEvent& event) override;
    void Init() override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    // Combo elements join the choices, anything else the children.
    bool Add(VLControl* item) override;
    bool AddAt(VLControl* item, int index) override;

    // An index past the end takes the last choice; false for a hidden or
    // disabled one, a negative index or no choices.
    bool SelectItem(int index);
    int GetCurSel() const { return current_; }
    const std::vector<VLControl*>& GetItems() const { return items_; }
    const std::wstring& GetDropBoxAttributes() const { return dropBoxAttributes_; }
    SIZE GetDropBoxSize() const { return dropBoxSize_; }
    SIZE GetDropBoxRoundCorner() const { return dropBoxRoundCorner_; }
    bool IsDropBoxLayered() const { return layeredDropBox_; }
    VLComboWnd* GetDropWindow() const { return dropWindow_; }
    // The pop-up tells its combo that it has gone.
    void ForgetDropWindow() { dropWindow_ = nullptr; }

private:
    std::wstring dropBoxAttributes_;
    VLComboWnd* dropWindow_ = nullptr;
    int current_ = -1;
    SIZE dropBoxSize_ = {0, 0};
    SIZE dropBoxRoundCorner_ = {0, 0};
    bool layeredDropBox_ = false;
    std::vector<VLControl*> items_;
};

} // namespace Velora
