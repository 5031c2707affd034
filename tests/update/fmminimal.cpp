// Benchmark baseline: the least a program can do to show the same window as
// ours. A 1131 x 688 fixed-frame window, centred, with a WebBrowser control
// over its upper part that navigates to the game page once, then the message
// loop. No skin, no fetches, no other controls. Esc or the close box ends it.
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include "app/build_config.h"

// COM interfaces have no virtual destructor by design: objects are released
// through Release(), never deleted through an interface pointer.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

const int kWidth = 1131;
const int kHeight = 688;
const int kBrowserHeight = 620;
HWND g_window = nullptr;
IOleObject* g_oleObject = nullptr;
IWebBrowser2* g_browser = nullptr;

class Frame : public IOleInPlaceFrame {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
        riid == IID_IOleInPlaceFrame) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetWindow(HWND* out) override {
    *out = g_window;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

Frame g_frame;

class Site : public IOleClientSite, public IOleInPlaceSite {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* out) override {
    *out = g_window;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    *frame = &g_frame;
    *doc = nullptr;
    SetRect(pos, 0, 0, kWidth, kBrowserHeight);
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = g_window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
};

Site g_site;

void CreateBrowser() {
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&g_oleObject)))) {
    return;
  }
  g_oleObject->SetClientSite(&g_site);
  OleSetContainedObject(g_oleObject, TRUE);
  RECT pos = {0, 0, kWidth, kBrowserHeight};
  g_oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &g_site, 0, g_window, &pos);
  if (SUCCEEDED(g_oleObject->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&g_browser)))) {
    VARIANT empty;
    VariantInit(&empty);
    BSTR url = SysAllocString(L"http://" FM_GAME_PORTAL_HOST "/flash/129731.htm");
    g_browser->Navigate(url, &empty, &empty, &empty, &empty);
    SysFreeString(url);
  }
}

void ReleaseBrowser() {
  if (g_browser) g_browser->Release();
  g_browser = nullptr;
  if (g_oleObject) {
    g_oleObject->Close(OLECLOSE_NOSAVE);
    g_oleObject->SetClientSite(nullptr);
    g_oleObject->Release();
  }
  g_oleObject = nullptr;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  OleInitialize(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "FmMinimalWindow";
  RegisterClassA(&wc);
  int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  g_window = CreateWindowExA(0, wc.lpszClassName, "FmMinimal", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                             x, y, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  if (!g_window) return 1;
  CreateBrowser();
  ShowWindow(g_window, SW_SHOWNORMAL);
  UpdateWindow(g_window);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      DestroyWindow(g_window);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  ReleaseBrowser();
  OleUninitialize();
  return 0;
}
