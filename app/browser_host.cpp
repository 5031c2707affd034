#include "app/browser_host.h"

#include <ole2.h>
#include <docobj.h>
#include <exdisp.h>
#include <oleauto.h>

#include "app/seams.h"

namespace {

// The WebBrowser control and the interface we drive it through.
const CLSID kWebBrowserClass = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const IID kWebBrowser2Interface = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

const char kHostClassName[] = "FmBrowserHost";

// The description's properties of the browser.
constexpr bool kOffline = false;
constexpr bool kSilent = false;
constexpr LONG kTextSize = 2;  // 0 smallest .. 4 largest

HWND g_host = nullptr;
HFONT g_hostFont = nullptr;
IOleObject* g_object = nullptr;
IOleInPlaceObject* g_inPlaceObject = nullptr;
IWebBrowser2* g_browser = nullptr;
IOleInPlaceActiveObject* g_activeObject = nullptr;  // given by the control when it activates
Text g_address;

void ClientRect(RECT* rect) {
  if (!g_host || !GetClientRect(g_host, rect)) SetRectEmpty(rect);
}

// COM interfaces have no virtual destructor by design: an object is never
// deleted through one, only released.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The container's side of the OLE conversation. The objects live for the
// whole process (there is one browser), so their reference counts are kept
// only to answer AddRef/Release faithfully.

class Frame final : public IOleInPlaceFrame {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow ||
        iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    if (references_ > 1) --references_;  // static storage: never freed
    return references_;
  }

  // IOleWindow: the frame is the top-level window.
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = g_host ? GetAncestor(g_host, GA_ROOT) : nullptr;
    return *window ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceUIWindow: no toolbars, no border space to give.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    // Kept so that keys for the page reach the control's accelerator handling.
    if (object) object->AddRef();
    if (g_activeObject) g_activeObject->Release();
    g_activeObject = object;
    return S_OK;
  }

  // IOleInPlaceFrame: no menu, no status bar, no accelerators of our own.
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS widths) override {
    if (widths) widths->width[0] = widths->width[2] = widths->width[4] = 0;
    return S_OK;
  }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  ULONG references_ = 1;
};

Frame g_frame;

class Site final : public IOleClientSite, public IOleInPlaceSite {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    if (references_ > 1) --references_;  // static storage: never freed
    return references_;
  }

  // IOleClientSite: an embedding with nothing to save and no container
  // document behind it.
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow: the control lives in the host window.
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = g_host;
    return g_host ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return g_host ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    g_frame.AddRef();
    *frame = &g_frame;
    *document = nullptr;  // no document window between the frame and the site
    ClientRect(position);
    ClientRect(clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = g_host ? GetAncestor(g_host, GA_ROOT) : nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT position) override {
    // The control asks for another size; it fills the host whatever it asks.
    (void)position;
    RECT rect;
    ClientRect(&rect);
    if (g_inPlaceObject) g_inPlaceObject->SetObjectRects(&rect, &rect);
    return S_OK;
  }

 private:
  ULONG references_ = 1;
};

Site g_site;

IOleClientSite* ClientSite() { return static_cast<IOleClientSite*>(&g_site); }

void Navigate(const Text& address) {
  if (!g_browser) return;
  FM_SEAM_RECORD("navigate %s", address.Str());
  // The address is ANSI text; the control takes a wide string.
  int count = MultiByteToWideChar(CP_ACP, 0, address.Str(), -1, nullptr, 0);
  if (count <= 0) return;
  BSTR url = SysAllocStringLen(nullptr, static_cast<UINT>(count - 1));
  if (!url) return;
  MultiByteToWideChar(CP_ACP, 0, address.Str(), -1, url, count);
  VARIANT flags;
  VariantInit(&flags);
  flags.vt = VT_I4;
  flags.lVal = 0;
  VARIANT none;
  VariantInit(&none);
  g_browser->Navigate(url, &flags, &none, &none, &none);  // the result is not looked at
  SysFreeString(url);
}

// Passes the keyboard focus from the host to the control inside it.
void FocusControl() {
  if (!g_object || !g_host) return;
  RECT rect;
  ClientRect(&rect);
  g_object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, ClientSite(), 0, g_host, &rect);
  if (GetFocus() == g_host) {
    // The control took no focus of its own: give it to its window.
    HWND inner = nullptr;
    if (g_inPlaceObject && SUCCEEDED(g_inPlaceObject->GetWindow(&inner)) && inner) SetFocus(inner);
  }
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      if (g_inPlaceObject) {
        RECT rect = {0, 0, LOWORD(lparam), HIWORD(lparam)};
        g_inPlaceObject->SetObjectRects(&rect, &rect);
      }
      return 0;
    case WM_SETFOCUS:
      FocusControl();
      return 0;
    case WM_SETFONT:
      g_hostFont = reinterpret_cast<HFONT>(wparam);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(g_hostFont);
    case WM_DESTROY:
      ReleaseBrowser();
      return 0;
    case WM_NCDESTROY:
      if (window == g_host) g_host = nullptr;
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

bool RegisterHostClass() {
  WNDCLASSEXA cls = {};
  cls.cbSize = sizeof cls;
  if (GetClassInfoExA(GetModuleHandleA(nullptr), kHostClassName, &cls)) return true;
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = HostProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  cls.lpszClassName = kHostClassName;
  return RegisterClassExA(&cls) != 0;
}

bool EmbedControl() {
  if (FM_SEAM_INJECTED("fail-browser")) return false;
  if (FAILED(CoCreateInstance(kWebBrowserClass, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&g_object))))
    return false;
  g_object->SetClientSite(ClientSite());
  OleSetContainedObject(g_object, TRUE);
  RECT rect;
  ClientRect(&rect);
  if (FAILED(g_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, ClientSite(), 0, g_host, &rect))) return false;
  g_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&g_inPlaceObject));
  if (FAILED(g_object->QueryInterface(kWebBrowser2Interface, reinterpret_cast<void**>(&g_browser)))) {
    g_browser = nullptr;
    return false;
  }
  if (g_inPlaceObject) g_inPlaceObject->SetObjectRects(&rect, &rect);
  return true;
}

}  // namespace

HWND CreateBrowserControl(HWND parent, int id, const RECT& bounds, DWORD style, const Text& address) {
  if (g_host || !RegisterHostClass()) return nullptr;
  g_host = CreateWindowExA(0, kHostClassName, "", style, bounds.left, bounds.top, bounds.right - bounds.left,
                           bounds.bottom - bounds.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  if (!g_host) return nullptr;
  if (!EmbedControl()) {
    DestroyWindow(g_host);  // releases whatever part of the control was made
    return nullptr;
  }
  VARIANT_BOOL offline = kOffline ? VARIANT_TRUE : VARIANT_FALSE;
  VARIANT_BOOL silent = kSilent ? VARIANT_TRUE : VARIANT_FALSE;
  g_browser->put_Offline(offline);
  g_browser->put_Silent(silent);
  VARIANT size;
  VariantInit(&size);
  size.vt = VT_I4;
  size.lVal = kTextSize;
  // Fails while no page is loaded (and always under some hosts); the text
  // size is a nicety, so the result is not looked at.
  g_browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &size, nullptr);
  g_address = address;
  // "no-first-navigation": the test build leaves the page alone at creation,
  // to tell the browser's own network traffic from the rest of start-up.
  if (!g_address.Empty() && !FM_SEAM_INJECTED("no-first-navigation")) Navigate(g_address);
  return g_host;
}

void SetBrowserAddress(const Text& address) {
  g_address = address;
  Navigate(g_address);
}

const Text& BrowserAddress() { return g_address; }

bool BrowserTranslateAccelerator(MSG* msg) {
  if (!g_activeObject || !g_host) return false;
  if (msg->hwnd != g_host && !IsChild(g_host, msg->hwnd)) return false;
  return g_activeObject->TranslateAccelerator(msg) == S_OK;
}

void ReleaseBrowser() {
  // In this order: the control lets go of our site before its last
  // reference goes, and everything is gone before OLE is uninitialised.
  if (g_activeObject) {
    g_activeObject->Release();
    g_activeObject = nullptr;
  }
  if (g_inPlaceObject) {
    g_inPlaceObject->InPlaceDeactivate();
    g_inPlaceObject->Release();
    g_inPlaceObject = nullptr;
  }
  if (g_browser) {
    g_browser->Release();
    g_browser = nullptr;
  }
  if (g_object) {
    g_object->Close(OLECLOSE_NOSAVE);
    g_object->SetClientSite(nullptr);
    g_object->Release();
    g_object = nullptr;
  }
}

HWND BrowserHostWindow() { return g_host; }
