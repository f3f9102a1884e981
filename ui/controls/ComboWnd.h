// The pop-up list of a combo box: a window below the combo with a paint
// manager of its own, whose vertical list holds the combo's items while it
// is open, as one option group, and gives them back when it goes.
#pragma once

#include "ui/core/PaintManager.h"
#include "ui/core/VerticalLayout.h"
#include "ui/core/WindowWnd.h"

#include <memory>

namespace Velora {

class VLCombo;

// The option group of the items while they are in the pop-up.
constexpr int kComboPopupGroup = 100;

class VLComboWnd : public VLWindowWnd {
public:
    // Opens the pop-up below the combo; the object deletes itself when its
    // window goes, or at once when the window cannot be made.
    void Init(VLCombo* combo);

    const wchar_t* GetWindowClassName() const override { return L"VLComboWnd"; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;

    VLVerticalLayout* GetList() const { return list_; }

private:
    void OnCreate();
    void OnDestroy();
    void OnKey(WPARAM key);

    VLCombo* owner_ = nullptr;
    VLPaintManager paintManager_;
    VLVerticalLayout* list_ = nullptr;
    // The list until the manager takes it as its root.
    std::unique_ptr<VLVerticalLayout> pendingList_;
    int current_ = -1;
};

} // namespace Velora
