// Win32 child window of the host's editor window (see Win32Window.h):
// window messages to listener calls, GDI+ presents, the cursor, keyboard
// focus, and the native tool-tip. Everything runs on the host's GUI thread.
#include "gui/platform/Win32Window.h"

#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>
#include <objidl.h>

#include <gdiplus.h>

#include <cstdint>
#include <string>

namespace {
HMODULE thisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&thisModule), &module);
  return module;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    window = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  if (window) {
    LRESULT result = static_cast<LRESULT>(window->handleMessage(message, wParam, lParam));
    if (result != -1) return result;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// One window class per loaded module (the name carries the module address,
// so two copies of the plug-in never share a procedure), unregistered when
// its last window goes so that an unloaded DLL leaves no class behind.
int liveWindows = 0;
std::string className() {
  char name[64];
  std::snprintf(name, sizeof name, "MorvelithFrame%p", static_cast<void*>(thisModule()));
  return name;
}

bool registerClass() {
  if (liveWindows++ > 0) return true;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = thisModule();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  std::string name = className();
  wc.lpszClassName = name.c_str();
  if (RegisterClassExA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
  --liveWindows;
  return false;
}

void unregisterClass() {
  if (--liveWindows == 0) UnregisterClassA(className().c_str(), thisModule());
}

long modifierBits() {
  long bits = 0;
  if (GetKeyState(VK_SHIFT) < 0) bits |= kShift;
  if (GetKeyState(VK_CONTROL) < 0) bits |= kControl;
  if (GetKeyState(VK_MENU) < 0) bits |= kAlt;
  return bits;
}

long buttonsFromWParam(WPARAM wParam) {
  long buttons = 0;
  if (wParam & MK_LBUTTON) buttons |= kLButton;
  if (wParam & MK_MBUTTON) buttons |= kMButton;
  if (wParam & MK_RBUTTON) buttons |= kRButton;
  if (wParam & MK_XBUTTON1) buttons |= kButton4;
  if (wParam & MK_XBUTTON2) buttons |= kButton5;
  if (wParam & MK_SHIFT) buttons |= kShift;
  if (wParam & MK_CONTROL) buttons |= kControl;
  if (GetKeyState(VK_MENU) < 0) buttons |= kAlt;
  return buttons;
}

long mouseButtons() { return kLButton | kMButton | kRButton | kButton4 | kButton5; }

int virtualKey(WPARAM key) {
  switch (key) {
    case VK_BACK: return kKeyBack;
    case VK_TAB: return kKeyTab;
    case VK_RETURN: return kKeyReturn;
    case VK_ESCAPE: return kKeyEscape;
    case VK_LEFT: return kKeyLeft;
    case VK_RIGHT: return kKeyRight;
    case VK_UP: return kKeyUp;
    case VK_DOWN: return kKeyDown;
    case VK_HOME: return kKeyHome;
    case VK_END: return kKeyEnd;
    case VK_DELETE: return kKeyDelete;
    default: return kKeyNone;
  }
}

CPoint pointOf(LPARAM lParam) { return CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); }

// The tool-tip class lives in comctl32, loaded when the first tip is wanted
// rather than imported: a plug-in that never shows one needs nothing of it.
bool loadToolTipClass() {
  static bool loaded = [] {
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (!comctl) return false;
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    return init && init(&controls);
  }();
  return loaded;
}
}  // namespace

Win32Window::Win32Window(HWND parent, const CRect& size) : parent_(parent), size_(size) {
  if (!parent || !IsWindow(parent) || !registerClass()) return;
  window_ = CreateWindowExA(0, className().c_str(), "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                            size.width(), size.height(), parent, nullptr, thisModule(), this);
  if (!window_) unregisterClass();
}

Win32Window::~Win32Window() {
  hideNativeTip();
  if (tip_) DestroyWindow(tip_);
  setCursorVisible(true);
  if (window_) {
    destroying_ = true;
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
    unregisterClass();
  }
}

// Messages arrive through the host's loop; nothing waits here.
void Win32Window::processEvents() {}

long long Win32Window::handleMessage(unsigned message, unsigned long long wParam, long long lParam) {
  switch (message) {
    case WM_PAINT:
      paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything: no flash of a background
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_XBUTTONDOWN:
      // Drags that leave the window still reach it.
      SetCapture(window_);
      if (listener_) listener_->platformMouseDown(pointOf(lParam), buttonsFromWParam(wParam));
      return message == WM_XBUTTONDOWN ? TRUE : 0;
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP:
    case WM_XBUTTONUP: {
      long buttons = buttonsFromWParam(wParam);
      if (!(buttons & mouseButtons())) ReleaseCapture();
      if (listener_) listener_->platformMouseUp(pointOf(lParam), buttons);
      return message == WM_XBUTTONUP ? TRUE : 0;
    }
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window_, 0};
        tracking_ = TrackMouseEvent(&track) != FALSE;
      }
      if (listener_) listener_->platformMouseMoved(pointOf(lParam), buttonsFromWParam(wParam));
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      if (listener_) listener_->platformMouseExitedWindow();
      return 0;
    case WM_MOUSEWHEEL: {
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};  // screen coordinates
      ScreenToClient(window_, &p);
      float steps = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
      if (listener_) listener_->platformWheel(CPoint(p.x, p.y), steps, buttonsFromWParam(GET_KEYSTATE_WPARAM(wParam)));
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS | DLGC_WANTCHARS;  // arrows, tab and return while a text field edits
    case WM_KEYDOWN: {
      CKeyCode key;
      key.virt = virtualKey(wParam);
      if (key.virt == kKeyNone) return -1;  // characters come with WM_CHAR
      key.modifiers = modifierBits();
      if (listener_) listener_->platformKeyDown(key);
      return 0;
    }
    case WM_CHAR: {
      // Control characters were delivered as virtual keys.
      if (wParam < 0x20 || wParam == 0x7f) return 0;
      CKeyCode key;
      key.character = static_cast<int>(wParam);
      key.modifiers = modifierBits() & kShift;
      if (listener_) listener_->platformKeyDown(key);
      return 0;
    }
    case WM_SETCURSOR:
      if (cursorHidden_ && LOWORD(lParam) == HTCLIENT) {
        SetCursor(nullptr);
        return TRUE;
      }
      return -1;
    case WM_DESTROY:
      // The host destroyed its window (and ours with it) before closing the editor.
      if (!destroying_) {
        window_ = nullptr;
        unregisterClass();
        if (listener_) listener_->platformWindowDestroyed();
      }
      return 0;
    default:
      return -1;
  }
}

void Win32Window::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  if (shown_) {
    Gdiplus::Graphics g(dc);
    g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    const RECT& r = ps.rcPaint;
    g.DrawImage(shown_, Gdiplus::Rect(r.left, r.top, r.right - r.left, r.bottom - r.top), r.left, r.top,
                r.right - r.left, r.bottom - r.top, Gdiplus::UnitPixel);
  }
  EndPaint(window_, &ps);
  // What was uncovered gets drawn afresh by the frame at its next idle too.
  if (listener_) listener_->platformExpose(CRect(ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom));
}

void Win32Window::present(NativeImage* image, const std::vector<CRect>& areas) {
  shown_ = image;
  if (!window_ || !image) return;
  HDC dc = GetDC(window_);
  {
    Gdiplus::Graphics g(dc);
    g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    for (const CRect& a : areas)
      g.DrawImage(image, Gdiplus::Rect(a.left, a.top, a.width(), a.height()), a.left, a.top, a.width(), a.height(),
                  Gdiplus::UnitPixel);
  }
  ReleaseDC(window_, dc);
}

void Win32Window::setCursorVisible(bool visible) {
  if (visible == !cursorHidden_) return;
  cursorHidden_ = !visible;
  // ShowCursor counts per thread: one hide is always matched by one show.
  ShowCursor(visible ? TRUE : FALSE);
  if (!visible) SetCursor(nullptr);
}

bool Win32Window::getCursorScreenPosition(CPoint& position) {
  POINT p;
  if (!GetCursorPos(&p)) return false;
  position = CPoint(p.x, p.y);
  return true;
}

void Win32Window::setCursorScreenPosition(const CPoint& position) { SetCursorPos(position.x, position.y); }

CPoint Win32Window::frameToScreen(const CPoint& point) {
  POINT p{point.x, point.y};
  if (window_) ClientToScreen(window_, &p);
  return CPoint(p.x, p.y);
}

long Win32Window::getCurrentButtons() {
  long buttons = modifierBits();
  if (GetAsyncKeyState(VK_LBUTTON) < 0) buttons |= kLButton;
  if (GetAsyncKeyState(VK_MBUTTON) < 0) buttons |= kMButton;
  if (GetAsyncKeyState(VK_RBUTTON) < 0) buttons |= kRButton;
  return buttons;
}

uint64_t Win32Window::getTicks() { return GetTickCount64(); }

void Win32Window::takeKeyboardFocus() {
  if (window_) SetFocus(window_);
}

void Win32Window::releaseKeyboardFocus() {
  if (window_ && GetFocus() == window_ && parent_) SetFocus(parent_);
}

unsigned long Win32Window::getNativeHandle() const {
  // Window handles use their low 32 bits only, on 64-bit Windows too.
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window_));
}

bool Win32Window::showNativeTip(const CPoint& where, const std::string& text) {
  if (!window_) return false;
  TOOLINFOA info{};
  info.cbSize = sizeof info;
  info.hwnd = window_;
  info.uId = 1;
  if (!tip_) {
    if (!loadToolTipClass()) return false;
    // Always shown (also while the host's window is inactive), no & prefixes.
    tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                           thisModule(), nullptr);
    if (!tip_) return false;
    info.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    info.lpszText = const_cast<char*>("This is a tooltip");
    SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  }
  info.lpszText = const_cast<char*>(text.c_str());
  SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
  CPoint screen = frameToScreen(where);
  SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x, screen.y));
  SendMessageA(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info));
  return true;
}

void Win32Window::hideNativeTip() {
  if (!tip_) return;
  TOOLINFOA info{};
  info.cbSize = sizeof info;
  info.hwnd = window_;
  info.uId = 1;
  SendMessageA(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info));
}

std::unique_ptr<PlatformWindow> createPlatformWindow(void* parent, const CRect& size) {
  // No offscreen window on Windows: without a parent there is nothing to show.
  if (!parent) return nullptr;
  return std::make_unique<Win32Window>(static_cast<HWND>(parent), size);
}
