// The multi-line text entry of the markup: a windowless control that keeps
// the system's rich edit text services through its text host and draws them
// into the window's paint pass, with the container's background, images,
// border, scroll bars and items around them. Window messages reach it
// through the paint manager's message filters.
#pragma once

#include "ui/controls/TextNotify.h"
#include "ui/controls/TxtWinHost.h"
#include "ui/core/Container.h"
#include "ui/core/PaintManager.h"

#include <cstdint>
#include <string>

namespace Velora {

class VLRichEdit : public VLContainer, public IMessageFilterUI, public ITextHostOwner {
public:
    VLRichEdit();
    ~VLRichEdit() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    VLControl* FindControl(VLFindControlProc proc, void* data, uint32_t flags) override;
    void OnMouseEnter(VLControlEvent& event) override;
    void OnMouseLeave(VLControlEvent& event) override;
    void OnMouseMove(VLControlEvent& event) override;
    void OnSetFocus(VLControlEvent& event) override;
    void OnKillFocus(VLControlEvent& event) override;
    void OnSetCursor(VLControlEvent& event) override;
    void OnTimer(VLControlEvent& event) override;
    void OnLButtonDown(VLControlEvent& event) override;
    void Paint(HDC dc, const RECT& paintRect) override;
    void PaintStateImage(HDC dc) override;
    void PaintText(HDC dc, bool alpha) override;
    void SetPos(const RECT& rect) override;
    void SetEnabled(bool enabled) override;
    // Creates the text host and joins the window's message filters, once.
    void Init() override;
    const std::wstring& GetText() const override;
    void SetText(const std::wstring& text) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void SetNormalTextColor(uint32_t argb) override;
    void SetScrollPos(SIZE pos) override;
    void ScrollLineUp() override;
    void ScrollLineDown() override;
    void ScrollPageUp() override;
    void ScrollPageDown() override;
    void ScrollToTop() override;
    void ScrollToBottom() override;
    void ScrollLineLeft() override;
    void ScrollLineRight() override;
    void ScrollPageLeft() override;
    void ScrollPageRight() override;
    void ScrollToLeft() override;
    void ScrollToRight() override;

    // Sends a message to the text services after the control's own key rules;
    // S_FALSE without a host.
    virtual HRESULT TxSendMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool WantsViewChange() override;
    void OnTxNotify(DWORD code, void* data) override;

    LRESULT MessageFilter(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

    VLControl* GetHostedControl() override { return this; }
    bool IsRichText() const override { return rich_; }
    int GetTextLimit() const override { return limitText_; }
    bool HasHostBar(bool vertical) const override;
    void ShowHostBar(bool vertical, bool show) override;
    void EnableHostBars(bool vertical, bool horizontal) override;
    void SetHostBarRange(bool vertical, int range) override;
    void SetHostBarPos(bool vertical, int pos) override;

    void SetRich(bool on);
    void SetReadOnly(bool on);
    void SetPassword(bool on);
    void SetLimitText(int limit);
    void SetEventChange(bool on);
    // "wanttab": Tab is typed into the text instead of moving the focus.
    bool WantsTab() const override { return wantTab_; }
    VLTxtWinHost* GetHost() const { return host_; }

private:
    // Straight to the services, past the control's key rules; their result.
    LRESULT SendToServices(UINT message, WPARAM wParam, LPARAM lParam);
    void UpdateEventMask();
    void SendVerticalScroll(WPARAM code);
    void SendHorizontalScroll(WPARAM code);
    // The text's natural height at a width, or -1 when the services cannot
    // tell.
    LONG NaturalHeight(LONG width) const;
    void PlaceItems(const RECT& area);

    std::wstring lastText_;
    mutable std::wstring text_;
    bool eventChange_ = false;
    bool colourDirty_ = true;
    VLTxtWinHost* host_ = nullptr;
    bool barAutoShown_ = false;
    bool wantTab_ = true;
    bool wantReturn_ = true;
    bool wantCtrlReturn_ = true;
    bool rich_ = true;
    bool readOnly_ = false;
    bool password_ = false;
    int limitText_ = 32767;
    uint32_t style_ = ES_MULTILINE;
    bool filterAdded_ = false;
};

} // namespace Velora
