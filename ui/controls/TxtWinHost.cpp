#include "ui/controls/TxtWinHost.h"

#include "ui/core/Control.h"
#include "ui/core/PaintManager.h"
#include "ui/core/RenderEngine.h"

#include "base/GdiScope.h"

#include <new>
#include <vector>

namespace Velora {

namespace {

// The text services and their interface ids come from the library itself:
// its own definitions are the ones its QueryInterface compares against.
struct RichEditLibrary {
    RichEditLibrary() : module(LoadLibraryW(L"riched20.dll"))
    {
        if (!module) return;
        create = reinterpret_cast<PCreateTextServices>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), "CreateTextServices")));
        servicesId = reinterpret_cast<const IID*>(GetProcAddress(module.Get(), "IID_ITextServices"));
        hostId = reinterpret_cast<const IID*>(GetProcAddress(module.Get(), "IID_ITextHost"));
    }
    VLModule module;
    PCreateTextServices create = nullptr;
    const IID* servicesId = nullptr;
    const IID* hostId = nullptr;
};

RichEditLibrary& Library()
{
    static RichEditLibrary library;
    return library;
}

constexpr DWORD kCharFormatMask =
    CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_OFFSET | CFM_CHARSET | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE;
constexpr DWORD kScrollBarStyles = WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_DISABLENOSCROLL;
constexpr LONG kDefaultMaxLength = 32767;

} // namespace

VLTxtWinHost::VLTxtWinHost(ITextHostOwner* owner) : owner_(owner) {}

VLTxtWinHost::~VLTxtWinHost()
{
    if (!services_) return;
    services_->OnTxInPlaceDeactivate();
    services_->Release();
}

VLTxtWinHost* VLTxtWinHost::CreateHost(ITextHostOwner* owner, const CREATESTRUCTW* create)
{
    auto* host = new (std::nothrow) VLTxtWinHost(owner);
    if (!host) return nullptr;
    if (!host->Init(create)) {
        host->Release();
        return nullptr;
    }
    return host;
}

bool VLTxtWinHost::Init(const CREATESTRUCTW* create)
{
    InitCharFormat();
    InitParaFormat();
    if (owner_->IsRichText()) bits_ |= kHostRichText;
    // The live setter's rule holds at creation too: a limit below 1 would
    // otherwise leave a control that accepts no text at all.
    maxLength_ = owner_->GetTextLimit() < 1 ? kDefaultMaxLength : owner_->GetTextLimit();
    if (create) {
        style_ = static_cast<uint32_t>(create->style);
        if (!(style_ & (WS_HSCROLL | ES_AUTOHSCROLL))) bits_ |= kHostWordWrap;
    }
    if (style_ & ES_CENTER) {
        paraFormat_.wAlignment = PFA_CENTER;
    } else if (style_ & ES_RIGHT) {
        paraFormat_.wAlignment = PFA_RIGHT;
    }
    bits_ |= kHostInPlaceActive;

    RichEditLibrary& library = Library();
    if (!library.create || !library.servicesId) return false;
    IUnknown* unknown = nullptr;
    if (FAILED(library.create(nullptr, this, &unknown)) || !unknown) return false;
    void* services = nullptr;
    const HRESULT hr = unknown->QueryInterface(*library.servicesId, &services);
    unknown->Release();
    if (FAILED(hr) || !services) return false;
    services_ = static_cast<ITextServices*>(services);
    ApplyMaxLength();
    return !create || !create->lpszName || SUCCEEDED(services_->TxSetText(create->lpszName));
}

void VLTxtWinHost::InitCharFormat()
{
    charFormat_ = {};
    charFormat_.cbSize = sizeof(CHARFORMAT2W);
    charFormat_.dwMask = kCharFormatMask;
    VLControl* control = owner_->GetHostedControl();
    VLPaintManager* manager = control->GetManager();
    charFormat_.crTextColor = VLRenderEngine::ToColorRef(control->GetNormalTextColor());
    VLFontInfo* font = manager ? manager->GetFont(control->fonts[kTextNormal]) : nullptr;
    LOGFONTW lf = {};
    if (!font || !GetObjectW(font->font.Get(), sizeof(lf), &lf)) return;
    const int dpi = PaintDC() ? GetDeviceCaps(PaintDC(), LOGPIXELSY) : 96;
    charFormat_.yHeight = lf.lfHeight * -1440 / dpi;
    if (lf.lfWeight >= FW_BOLD) charFormat_.dwEffects |= CFE_BOLD;
    if (lf.lfItalic) charFormat_.dwEffects |= CFE_ITALIC;
    if (lf.lfUnderline) charFormat_.dwEffects |= CFE_UNDERLINE;
    charFormat_.bCharSet = lf.lfCharSet;
    charFormat_.bPitchAndFamily = lf.lfPitchAndFamily;
    lstrcpynW(charFormat_.szFaceName, lf.lfFaceName, LF_FACESIZE);
}

void VLTxtWinHost::InitParaFormat()
{
    paraFormat_ = {};
    paraFormat_.cbSize = sizeof(PARAFORMAT2);
    paraFormat_.dwMask = PFM_ALL;
    paraFormat_.wAlignment = PFA_LEFT;
    paraFormat_.cTabCount = 1;
    paraFormat_.rgxTabs[0] = 720;
}

HWND VLTxtWinHost::Window() const
{
    VLPaintManager* manager = owner_->GetHostedControl()->GetManager();
    return manager ? manager->GetWindow() : nullptr;
}

HDC VLTxtWinHost::PaintDC() const
{
    VLPaintManager* manager = owner_->GetHostedControl()->GetManager();
    return manager ? manager->GetPaintDC() : nullptr;
}

// ---- IUnknown ---------------------------------------------------------------

HRESULT VLTxtWinHost::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    const IID* hostId = Library().hostId;
    if (riid == IID_IUnknown || (hostId && riid == *hostId)) {
        *object = static_cast<ITextHost*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG VLTxtWinHost::AddRef()
{
    return ++refs_;
}

ULONG VLTxtWinHost::Release()
{
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

// ---- What a window would give the services ------------------------------------

HDC VLTxtWinHost::TxGetDC()
{
    return PaintDC();
}

INT VLTxtWinHost::TxReleaseDC(HDC)
{
    return 1;
}

BOOL VLTxtWinHost::TxShowScrollBar(INT bar, BOOL show)
{
    if (bar == SB_VERT || bar == SB_BOTH) owner_->ShowHostBar(true, show == TRUE);
    if (bar == SB_HORZ || bar == SB_BOTH) owner_->ShowHostBar(false, show == TRUE);
    return TRUE;
}

BOOL VLTxtWinHost::TxEnableScrollBar(INT bars, INT arrows)
{
    const bool visible = arrows != ESB_DISABLE_BOTH;
    if (bars == SB_VERT) {
        owner_->EnableHostBars(true, owner_->HasHostBar(false));
        owner_->ShowHostBar(true, visible);
    } else if (bars == SB_HORZ) {
        owner_->EnableHostBars(owner_->HasHostBar(true), true);
        owner_->ShowHostBar(false, visible);
    } else if (bars == SB_BOTH) {
        owner_->EnableHostBars(true, true);
        owner_->ShowHostBar(true, visible);
        owner_->ShowHostBar(false, visible);
    }
    return TRUE;
}

BOOL VLTxtWinHost::TxSetScrollRange(INT bar, LONG minPos, INT maxPos, BOOL)
{
    if (bar != SB_VERT && bar != SB_HORZ) return TRUE;
    const bool vertical = bar == SB_VERT;
    if (!owner_->HasHostBar(vertical)) return TRUE;
    const LONG client = vertical ? clientRect_.bottom - clientRect_.top : clientRect_.right - clientRect_.left;
    const LONG span = (maxPos - minPos) - client;
    if (span > 0) {
        owner_->ShowHostBar(vertical, true);
        owner_->SetHostBarRange(vertical, span);
    } else {
        owner_->ShowHostBar(vertical, false);
    }
    return TRUE;
}

BOOL VLTxtWinHost::TxSetScrollPos(INT bar, INT pos, BOOL)
{
    if (bar == SB_VERT || bar == SB_HORZ) owner_->SetHostBarPos(bar == SB_VERT, pos);
    return TRUE;
}

void VLTxtWinHost::TxInvalidateRect(LPCRECT rect, BOOL)
{
    VLPaintManager* manager = owner_->GetHostedControl()->GetManager();
    if (!manager || !manager->GetWindow()) return;
    // A layered window has no invalid region: it is drawn again whole.
    if (manager->IsLayered()) {
        manager->RedrawLayeredWindow(manager->GetLayeredAlpha());
    } else {
        InvalidateRect(manager->GetWindow(), rect ? rect : &clientRect_, FALSE);
    }
}

void VLTxtWinHost::TxViewChange(BOOL)
{
    if (owner_->WantsViewChange()) owner_->GetHostedControl()->Invalidate();
}

BOOL VLTxtWinHost::TxCreateCaret(HBITMAP bitmap, INT width, INT height)
{
    return CreateCaret(Window(), bitmap, width, height);
}

BOOL VLTxtWinHost::TxShowCaret(BOOL show)
{
    return show ? ShowCaret(Window()) : HideCaret(Window());
}

BOOL VLTxtWinHost::TxSetCaretPos(INT x, INT y)
{
    return SetCaretPos(x, y);
}

BOOL VLTxtWinHost::TxSetTimer(UINT id, UINT timeout)
{
    bits_ |= kHostTimerRunning;
    VLControl* control = owner_->GetHostedControl();
    VLPaintManager* manager = control->GetManager();
    return manager && manager->SetTimer(control, id, timeout);
}

void VLTxtWinHost::TxKillTimer(UINT id)
{
    VLControl* control = owner_->GetHostedControl();
    if (VLPaintManager* manager = control->GetManager()) manager->KillTimer(control, id);
    bits_ &= ~kHostTimerRunning;
}

void VLTxtWinHost::TxScrollWindowEx(INT, INT, LPCRECT, LPCRECT, HRGN, LPRECT, UINT) {}

void VLTxtWinHost::TxSetCapture(BOOL capture)
{
    // Through the manager, so that it knows the mouse is held and leaves the
    // cursor to the text services meanwhile.
    if (VLPaintManager* manager = owner_->GetHostedControl()->GetManager()) {
        if (capture)
            manager->CaptureMouse();
        else
            manager->ReleaseMouse();
    }
    if (capture)
        bits_ |= kHostCaptured;
    else
        bits_ &= ~kHostCaptured;
}

void VLTxtWinHost::TxSetFocus()
{
    owner_->GetHostedControl()->SetFocus();
}

void VLTxtWinHost::TxSetCursor(HCURSOR cursor, BOOL)
{
    SetCursor(cursor);
}

BOOL VLTxtWinHost::TxScreenToClient(LPPOINT point)
{
    return ScreenToClient(Window(), point);
}

BOOL VLTxtWinHost::TxClientToScreen(LPPOINT point)
{
    return ClientToScreen(Window(), point);
}

HRESULT VLTxtWinHost::TxActivate(LONG*)
{
    return S_OK;
}

HRESULT VLTxtWinHost::TxDeactivate(LONG)
{
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetClientRect(LPRECT rect)
{
    *rect = clientRect_;
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetViewInset(LPRECT rect)
{
    *rect = {};
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetCharFormat(const CHARFORMATW** format)
{
    *format = reinterpret_cast<const CHARFORMATW*>(&charFormat_);
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetParaFormat(const PARAFORMAT** format)
{
    *format = &paraFormat_;
    return S_OK;
}

COLORREF VLTxtWinHost::TxGetSysColor(int index)
{
    return GetSysColor(index);
}

HRESULT VLTxtWinHost::TxGetBackStyle(TXTBACKSTYLE* style)
{
    *style = (bits_ & kHostTransparent) ? TXTBACK_TRANSPARENT : TXTBACK_OPAQUE;
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetMaxLength(DWORD* length)
{
    *length = static_cast<DWORD>(maxLength_);
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetScrollBars(DWORD* bars)
{
    *bars = style_ & kScrollBarStyles;
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetPasswordChar(TCHAR* ch)
{
    *ch = passwordChar_;
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetAcceleratorPos(LONG* pos)
{
    *pos = acceleratorPos_;
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetExtent(LPSIZEL extent)
{
    *extent = extent_;
    return S_OK;
}

HRESULT VLTxtWinHost::OnTxCharFormatChange(const CHARFORMATW*)
{
    return S_OK;
}

HRESULT VLTxtWinHost::OnTxParaFormatChange(const PARAFORMAT*)
{
    return S_OK;
}

HRESULT VLTxtWinHost::TxGetPropertyBits(DWORD mask, DWORD* bits)
{
    DWORD answer = 0;
    if (style_ & ES_MULTILINE) answer |= TXTBIT_MULTILINE;
    if (bits_ & kHostRichText) answer |= TXTBIT_RICHTEXT;
    if (style_ & ES_READONLY) answer |= TXTBIT_READONLY;
    if (style_ & ES_PASSWORD) answer |= TXTBIT_USEPASSWORD;
    if (!(style_ & ES_NOHIDESEL)) answer |= TXTBIT_HIDESELECTION;
    if (bits_ & kHostAutoWordSel) answer |= TXTBIT_AUTOWORDSEL;
    if (bits_ & kHostWordWrap) answer |= TXTBIT_WORDWRAP;
    if (bits_ & kHostAllowBeep) answer |= TXTBIT_ALLOWBEEP;
    if (bits_ & kHostSaveSelection) answer |= TXTBIT_SAVESELECTION;
    *bits = answer & mask;
    return S_OK;
}

HRESULT VLTxtWinHost::TxNotify(DWORD code, void* data)
{
    if (code == EN_REQUESTRESIZE) {
        const RECT& requested = static_cast<REQRESIZE*>(data)->rc;
        SetClientRect({clientRect_.left, clientRect_.top, clientRect_.left + requested.right,
                       clientRect_.top + requested.bottom});
    } else {
        owner_->OnTxNotify(code, data);
    }
    return S_OK;
}

HIMC VLTxtWinHost::TxImmGetContext()
{
    return nullptr;
}

void VLTxtWinHost::TxImmReleaseContext(HIMC) {}

HRESULT VLTxtWinHost::TxGetSelectionBarWidth(LONG* width)
{
    *width = selBarWidth_;
    return S_OK;
}

// ---- The owner's side -----------------------------------------------------------

void VLTxtWinHost::SetClientRect(const RECT& rect)
{
    clientRect_ = rect;
    const HDC dc = PaintDC();
    const int dpiX = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    const int dpiY = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    extent_.cx = MulDiv(rect.right - rect.left, 2540, dpiX);
    extent_.cy = MulDiv(rect.bottom - rect.top, 2540, dpiY);
    services_->OnTxPropertyBitsChange(TXTBIT_CLIENTRECTCHANGE, TXTBIT_CLIENTRECTCHANGE);
}

bool VLTxtWinHost::DoSetCursor(POINT point)
{
    if (!PtInRect(&clientRect_, point)) return false;
    const RECT* client = (bits_ & kHostInPlaceActive) ? nullptr : &clientRect_;
    services_->OnTxSetCursor(DVASPECT_CONTENT, -1, nullptr, nullptr, PaintDC(), nullptr, client, point.x, point.y);
    return true;
}

void VLTxtWinHost::SetStyleBit(uint32_t bit, bool on)
{
    style_ = on ? (style_ | bit) : (style_ & ~bit);
}

void VLTxtWinHost::SetRichText(bool on)
{
    bits_ = on ? (bits_ | kHostRichText) : (bits_ & ~kHostRichText);
    services_->OnTxPropertyBitsChange(TXTBIT_RICHTEXT, on ? TXTBIT_RICHTEXT : 0);
}

void VLTxtWinHost::SetReadOnly(bool on)
{
    SetStyleBit(ES_READONLY, on);
    services_->OnTxPropertyBitsChange(TXTBIT_READONLY, on ? TXTBIT_READONLY : 0);
}

void VLTxtWinHost::SetPassword(bool on)
{
    SetStyleBit(ES_PASSWORD, on);
    services_->OnTxPropertyBitsChange(TXTBIT_USEPASSWORD, on ? TXTBIT_USEPASSWORD : 0);
}

void VLTxtWinHost::SetMaxLength(int length)
{
    maxLength_ = length < 1 ? kDefaultMaxLength : length;
    ApplyMaxLength();
}

void VLTxtWinHost::ApplyMaxLength()
{
    services_->OnTxPropertyBitsChange(TXTBIT_MAXLENGTHCHANGE, TXTBIT_MAXLENGTHCHANGE);
    // Some text services never ask the host for the limit: they are told.
    LRESULT result = 0;
    services_->TxSendMessage(EM_EXLIMITTEXT, 0, maxLength_, &result);
}

void VLTxtWinHost::SetTransparent(bool on)
{
    bits_ = on ? (bits_ | kHostTransparent) : (bits_ & ~kHostTransparent);
    services_->OnTxPropertyBitsChange(TXTBIT_BACKSTYLECHANGE, 0);
}

void VLTxtWinHost::SetTextColor(uint32_t argb)
{
    charFormat_.crTextColor = VLRenderEngine::ToColorRef(argb);
    services_->OnTxPropertyBitsChange(TXTBIT_CHARFORMATCHANGE, TXTBIT_CHARFORMATCHANGE);
}

bool VLTxtWinHost::ActivateInPlace()
{
    bits_ |= kHostInPlaceActive;
    if (SUCCEEDED(services_->OnTxInPlaceActivate(nullptr))) return true;
    bits_ &= ~kHostInPlaceActive;
    return false;
}

std::wstring VLTxtWinHost::GetText()
{
    GETTEXTLENGTHEX lengthQuery = {GTL_DEFAULT, 1200};
    LRESULT length = 0;
    services_->TxSendMessage(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthQuery), 0, &length);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX textQuery = {};
    textQuery.cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    textQuery.flags = GT_DEFAULT;
    textQuery.codepage = 1200;
    LRESULT copied = 0;
    services_->TxSendMessage(EM_GETTEXTEX, reinterpret_cast<WPARAM>(&textQuery),
                             reinterpret_cast<LPARAM>(buffer.data()), &copied);
    return std::wstring(buffer.data());
}

} // namespace Velora
