// The bridge between a windowless rich edit control and the system's rich
// edit text services: the services draw into the window's paint pass and ask
// this host for everything a window would have given them (device context,
// caret, capture, timers, scroll bars, invalidation, default formats).
#pragma once

#include <richedit.h>
#include <textserv.h>
#include <windows.h>

#include <cstdint>
#include <string>

namespace Velora {

class VLControl;

// What the host needs from the control that owns it.
class ITextHostOwner {
public:
    virtual ~ITextHostOwner() = default;
    virtual VLControl* GetHostedControl() = 0;
    virtual bool IsRichText() const = 0;
    virtual int GetTextLimit() const = 0;
    virtual bool HasHostBar(bool vertical) const = 0;
    virtual void ShowHostBar(bool vertical, bool show) = 0;
    // Creates or removes the owner's scroll bars.
    virtual void EnableHostBars(bool vertical, bool horizontal) = 0;
    virtual void SetHostBarRange(bool vertical, int range) = 0;
    virtual void SetHostBarPos(bool vertical, int pos) = 0;
    virtual bool WantsViewChange() = 0;
    virtual void OnTxNotify(DWORD code, void* data) = 0;
};

// Bits of the host's own state.
enum : uint32_t {
    kHostAutoWordSel = 0x01,
    kHostWordWrap = 0x02,
    kHostAllowBeep = 0x04,
    kHostRichText = 0x08,
    kHostSaveSelection = 0x10,
    kHostInPlaceActive = 0x20,
    kHostTransparent = 0x40,
    kHostTimerRunning = 0x80,
    kHostCaptured = 0x100,
};

// The method table of ITextHost is called by the services with the thiscall
// convention on 32-bit Windows, which is what plain virtual overrides give.
class VLTxtWinHost : public ITextHost {
public:
    // A host with its text services, or null when the services cannot be
    // made; the caller holds the one reference. The creation record gives the
    // style and the initial text.
    static VLTxtWinHost* CreateHost(ITextHostOwner* owner, const CREATESTRUCTW* create);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HDC TxGetDC() override;
    INT TxReleaseDC(HDC dc) override;
    BOOL TxShowScrollBar(INT bar, BOOL show) override;
    BOOL TxEnableScrollBar(INT bars, INT arrows) override;
    BOOL TxSetScrollRange(INT bar, LONG minPos, INT maxPos, BOOL redraw) override;
    BOOL TxSetScrollPos(INT bar, INT pos, BOOL redraw) override;
    void TxInvalidateRect(LPCRECT rect, BOOL erase) override;
    void TxViewChange(BOOL update) override;
    BOOL TxCreateCaret(HBITMAP bitmap, INT width, INT height) override;
    BOOL TxShowCaret(BOOL show) override;
    BOOL TxSetCaretPos(INT x, INT y) override;
    BOOL TxSetTimer(UINT id, UINT timeout) override;
    void TxKillTimer(UINT id) override;
    void TxScrollWindowEx(INT dx, INT dy, LPCRECT scroll, LPCRECT clip, HRGN update, LPRECT updateRect,
                          UINT flags) override;
    void TxSetCapture(BOOL capture) override;
    void TxSetFocus() override;
    void TxSetCursor(HCURSOR cursor, BOOL text) override;
    BOOL TxScreenToClient(LPPOINT point) override;
    BOOL TxClientToScreen(LPPOINT point) override;
    HRESULT TxActivate(LONG* oldState) override;
    HRESULT TxDeactivate(LONG newState) override;
    HRESULT TxGetClientRect(LPRECT rect) override;
    HRESULT TxGetViewInset(LPRECT rect) override;
    HRESULT TxGetCharFormat(const CHARFORMATW** format) override;
    HRESULT TxGetParaFormat(const PARAFORMAT** format) override;
    COLORREF TxGetSysColor(int index) override;
    HRESULT TxGetBackStyle(TXTBACKSTYLE* style) override;
    HRESULT TxGetMaxLength(DWORD* length) override;
    HRESULT TxGetScrollBars(DWORD* bars) override;
    HRESULT TxGetPasswordChar(TCHAR* ch) override;
    HRESULT TxGetAcceleratorPos(LONG* pos) override;
    HRESULT TxGetExtent(LPSIZEL extent) override;
    HRESULT OnTxCharFormatChange(const CHARFORMATW* format) override;
    HRESULT OnTxParaFormatChange(const PARAFORMAT* format) override;
    HRESULT TxGetPropertyBits(DWORD mask, DWORD* bits) override;
    HRESULT TxNotify(DWORD code, void* data) override;
    HIMC TxImmGetContext() override;
    void TxImmReleaseContext(HIMC context) override;
    HRESULT TxGetSelectionBarWidth(LONG* width) override;

    virtual ~VLTxtWinHost();

    ITextServices* GetTextServices() const { return services_; }
    uint32_t GetStyle() const { return style_; }
    uint32_t GetHostBits() const { return bits_; }
    const RECT& GetClientRect() const { return clientRect_; }
    // Stores the rectangle and its extent in HIMETRIC and tells the services.
    void SetClientRect(const RECT& rect);
    // Lets the services set the cursor when the point lies in the text.
    bool DoSetCursor(POINT point);
    void SetRichText(bool on);
    void SetReadOnly(bool on);
    void SetPassword(bool on);
    // Below 1 means the services' default of 32767.
    void SetMaxLength(int length);
    void SetTransparent(bool on);
    void SetTextColor(uint32_t argb);
    // In-place activation; the bit stays set only when the services took it.
    bool ActivateInPlace();
    // The services' whole text, read as UTF-16.
    std::wstring GetText();

private:
    explicit VLTxtWinHost(ITextHostOwner* owner);
    bool Init(const CREATESTRUCTW* create);
    void InitCharFormat();
    void InitParaFormat();
    void SetStyleBit(uint32_t bit, bool on);
    void ApplyMaxLength();
    HWND Window() const;
    HDC PaintDC() const;

    ITextHostOwner* owner_;
    ULONG refs_ = 1;
    ITextServices* services_ = nullptr;
    uint32_t style_ = ES_MULTILINE;
    uint32_t bits_ = 0;
    LONG selBarWidth_ = 0;
    LONG maxLength_ = 32767;
    RECT clientRect_ = {};
    SIZEL extent_ = {};
    CHARFORMAT2W charFormat_ = {};
    PARAFORMAT2 paraFormat_ = {};
    LONG acceleratorPos_ = -1;
    wchar_t passwordChar_ = 0;
};

} // namespace Velora
