// The single-line text entry of the markup. Idle, it paints like any skinned
// container; while the user edits, a native edit window (VLEditWnd) lies
// over its text area and hands every change of its text back at once, so
// the user keeps the system's caret, selection, clipboard and input methods.
#pragma once

#include "ui/core/Container.h"

#include <cstdint>
#include <string>

namespace Velora {

class VLEditWnd;

class VLEdit : public VLContainer {
public:
    VLEdit();
    // Closes an open native window first, so it never refers to a gone owner.
    ~VLEdit() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void OnSetCursor(VLControlEvent& event) override;
    void OnRButtonDown(VLControlEvent& event) override;
    // Starts editing when the control already holds the keyboard focus.
    void OnLButtonDown(VLControlEvent& event) override;
    void OnLButtonDblClk(VLControlEvent& event) override;
    void SetPos(const RECT& rect) override;
    void SetText(const std::wstring& text) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    // The control's position less its normal text padding.
    RECT GetEditRect() const;
    int GetMaxChars() const { return maxChars_; }
    bool IsReadOnly() const { return readOnly_; }
    bool IsPassword() const { return password_; }
    wchar_t GetPasswordChar() const { return passwordChar_; }
    uint32_t GetNativeBkColor() const { return nativeBkColor_; }
    VLEditWnd* GetEditWindow() const { return editWindow_; }
    // The native window's last words: it is gone.
    void ForgetEditWindow(VLEditWnd* window);
    // Takes the native window's text without touching the window again.
    void TakeEditedText(const std::wstring& text);

private:
    // Sends a message to the native window when one is open.
    void SendToEditWindow(UINT message, WPARAM wParam, LPARAM lParam) const;

    VLEditWnd* editWindow_ = nullptr;
    int maxChars_ = 255;
    bool readOnly_ = false;
    bool password_ = false;
    wchar_t passwordChar_ = L'*';
    uint32_t nativeBkColor_ = 0xFFFFFFFF;
};

} // namespace Velora
