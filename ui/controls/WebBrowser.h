// The system's web browser hosted as an ActiveX control. It listens to every
// event interface the browser offers, keeps whether back and forward
// navigation are possible, and hands each browser event to a hook that a
// window's own browser class can override. It never navigates by itself.
#pragma once

#include "ui/controls/ActiveX.h"

#include <exdisp.h>

#include <vector>

namespace Velora {

constexpr int kClassWebBrowser = 19;

class VLWebBrowser : public VLActiveX, public IDispatch {
public:
    VLWebBrowser();
    ~VLWebBrowser() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    // Creates the browser now (whatever "delaycreate" says) and listens to it.
    void Init() override;
    void SetFocus() override;

    // The event sink. Events arrive as method calls only; the sink answers
    // E_NOTIMPL to all of them and never writes an out argument, so it never
    // cancels a navigation or a new window.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override;

    IWebBrowser2* GetWebBrowser() const { return browser_; }
    BOOL CanGoForward() const { return canGoForward_; }
    BOOL CanGoBack() const { return canGoBack_; }

    // One hook per browser event; each gets the event's arguments as they
    // arrive (pointers for by-reference arguments).
    virtual void OnStatusTextChange(BSTR text);
    virtual void OnProgressChange(LONG progress, LONG maximum);
    virtual void OnCommandStateChange(LONG command, LONG enable);
    virtual void OnTitleChange(BSTR text);
    virtual void OnNewWindow2(IDispatch** dispatch, VARIANT_BOOL* cancel);
    virtual void OnNavigateComplete2(IDispatch* dispatch, VARIANT* url);
    virtual void OnBeforeNavigate2(IDispatch* dispatch, VARIANT* url, VARIANT* flags, VARIANT* targetFrame,
                                   VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel);
    virtual void OnBeforeNavigate(BSTR url, LONG flags, BSTR targetFrame, VARIANT* postData, BSTR headers,
                                  VARIANT_BOOL* cancel);
    virtual void OnDocumentComplete(IDispatch* dispatch, VARIANT* url);
    virtual void OnNewWindow3(IDispatch** dispatch, VARIANT_BOOL* cancel, DWORD flags, BSTR urlContext, BSTR url);
    virtual void OnNewWindow(BSTR headers, VARIANT_BOOL* processed);
    virtual void OnDownloadComplete();
    virtual void OnWindowClosing(VARIANT_BOOL isChildWindow, VARIANT_BOOL* cancel);

    // The event interfaces advised, in order, with their cookies.
    std::vector<IID> connections;
    std::vector<DWORD> cookies;

private:
    void AdviseAll(IUnknown* object);
    void UnadviseAll(IUnknown* object);
    void Advise(IConnectionPoint* point);
    // Calls the hook of an event whose arguments are all present.
    void Dispatch(DISPID id, const DISPPARAMS& parameters);

    LONG sinkReferences_ = 0;
    IWebBrowser2* browser_ = nullptr;
    BOOL canGoForward_ = FALSE;
    BOOL canGoBack_ = FALSE;
};

} // namespace Velora
