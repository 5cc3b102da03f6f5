#include <windows.h>
#include <shellapi.h>

#include "core/Text.h"
#include "platform/UserInterface.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {

namespace {

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

std::wstring Wide(std::string_view aText) {
  const std::u16string text = Utf8ToUtf16(aText);
  return std::wstring(text.begin(), text.end());
}

}  // namespace

void ShowMessageBox(tkMessageBoxKind aKind, std::string_view aText) {
  const bool error = aKind == tkMessageBoxKind::Error;
  MessageBoxW(nullptr, Wide(aText).c_str(), error ? L"Error" : L"Information",
              MB_OK | MB_TASKMODAL | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

// ---- the wait window --------------------------------------------------------------

namespace {

constexpr wchar_t kWaitClass[] = L"tMx_Wait";
const COLORREF kBackground = RGB(kWaitColour[0], kWaitColour[1], kWaitColour[2]);

LRESULT CALLBACK WaitWindowProc(HWND aWindow, UINT aMessage, WPARAM aWParam, LPARAM aLParam) {
  if (aMessage == WM_CTLCOLORSTATIC) {
    HDC dc = reinterpret_cast<HDC>(aWParam);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, kBackground);
    return static_cast<LRESULT>(GetClassLongPtrW(aWindow, GCLP_HBRBACKGROUND));
  }
  return DefWindowProcW(aWindow, aMessage, aWParam, aLParam);
}

class Win32WaitWindow : public WaitWindowPresenter {
 public:
  Win32WaitWindow() {
    // Nothing of the window yet: the presenter may be built on a thread that must not
    // create windows (a library being loaded); the first Show creates it.
    HDC screen = GetDC(nullptr);
    const int pixelsPerInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    fFont = CreateFontW(-MulDiv(10, pixelsPerInch, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
  }

  ~Win32WaitWindow() override {
    if (fWindow) {
      // Only the owning thread can destroy it; elsewhere it is asked to close itself.
      if (GetWindowThreadProcessId(fWindow, nullptr) == GetCurrentThreadId()) {
        DestroyWindow(fWindow);
      } else {
        PostMessageW(fWindow, WM_CLOSE, 0, 0);
      }
      // A class left behind would point at this library's code after it is unloaded.
      UnregisterClassW(kWaitClass, ThisModule());
    }
    if (fFont) DeleteObject(fFont);
  }

  WaitLabelSize MeasureLabel(std::string_view aText) override {
    const std::wstring text = Wide(aText);
    RECT rect{0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return {};
    HGDIOBJ old = SelectObject(dc, fFont);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_CENTER | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    DeleteDC(dc);
    return {rect.right - rect.left, rect.bottom - rect.top};
  }

  void Arrange(std::string_view aText, int aClientWidth, int aLabelLeft, int aLabelTop) override {
    fText = Wide(aText);
    fClientWidth = aClientWidth;
    fLabelLeft = aLabelLeft;
    fLabelTop = aLabelTop;
    fLabelSize = MeasureLabel(aText);
    if (fWindow) Apply();
  }

  void Show() override {
    if (!fWindow && !Create()) return;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - fClientWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - kWaitClientHeight) / 2;
    SetWindowPos(fWindow, HWND_TOPMOST, left, top, fClientWidth, kWaitClientHeight,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(fWindow);
  }

  void Hide() override {
    if (fWindow) ShowWindow(fWindow, SW_HIDE);
  }

  bool IsVisible() const override { return fWindow && IsWindowVisible(fWindow); }

  WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(fWindow); }

 private:
  bool Create() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WaitWindowProc;
    windowClass.hInstance = ThisModule();
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
    windowClass.hbrBackground = CreateSolidBrush(kBackground);
    windowClass.lpszClassName = kWaitClass;
    // Another wait window of this library may have registered it already.
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      DeleteObject(windowClass.hbrBackground);
      return false;
    }
    // No border and no caption: the window is all client area.
    fWindow = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kWaitClass, L"", WS_POPUP, 0, 0,
                              fClientWidth, kWaitClientHeight, nullptr, nullptr, ThisModule(), nullptr);
    if (!fWindow) return false;
    fLabel = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0, 0,
                             0, 0, fWindow, nullptr, ThisModule(), nullptr);
    if (fLabel) SendMessageW(fLabel, WM_SETFONT, reinterpret_cast<WPARAM>(fFont), FALSE);
    Apply();
    return true;
  }

  void Apply() {
    if (fLabel) {
      SetWindowTextW(fLabel, fText.c_str());
      SetWindowPos(fLabel, nullptr, fLabelLeft, fLabelTop, fLabelSize.fWidth, fLabelSize.fHeight,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetWindowPos(fWindow, nullptr, 0, 0, fClientWidth, kWaitClientHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(fWindow, nullptr, TRUE);
  }

  HWND fWindow = nullptr;
  HWND fLabel = nullptr;
  HFONT fFont = nullptr;
  std::wstring fText;
  int fClientWidth = kWaitInitialClientWidth;
  int fLabelLeft = 0;
  int fLabelTop = 0;
  WaitLabelSize fLabelSize;
};

}  // namespace

std::unique_ptr<WaitWindowPresenter> CreateWaitWindowPresenter() {
  return std::make_unique<Win32WaitWindow>();
}

// ---- messages and the quit request ------------------------------------------------

void ProcessPendingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the thread's own message loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void PostQuitRequest(int aExitCode) { PostQuitMessage(aExitCode); }

std::optional<int> TakeQuitRequest() {
  MSG message;
  if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return std::nullopt;
  return static_cast<int>(message.wParam);
}

// ---- the notification-area icon ---------------------------------------------------

uint32_t NotifyIconDataSize() {
#ifndef _WIN64
  static_assert(sizeof(NOTIFYICONDATAW) == 956);
#endif
  return sizeof(NOTIFYICONDATAW);
}

uintptr_t ApplicationIcon() {
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
  if (!icon) icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  return reinterpret_cast<uintptr_t>(icon);
}

bool ShellNotifyIcon(uint32_t aCommand, const NotifyIconData& aData) {
  NOTIFYICONDATAW data{};
  data.cbSize = aData.fSize;
  data.hWnd = reinterpret_cast<HWND>(aData.fWindow);
  data.uID = aData.fId;
  data.uFlags = aData.fFlags;
  data.uCallbackMessage = aData.fCallbackMessage;
  data.hIcon = reinterpret_cast<HICON>(aData.fIcon);
  return Shell_NotifyIconW(aCommand, &data) != FALSE;
}

// ---- single instance --------------------------------------------------------------

namespace {

class MutexInstanceLock : public InstanceLock {
 public:
  explicit MutexInstanceLock(HANDLE aMutex) : fMutex(aMutex) {}
  ~MutexInstanceLock() override {
    ReleaseMutex(fMutex);
    CloseHandle(fMutex);
  }

 private:
  HANDLE fMutex;
};

}  // namespace

std::unique_ptr<InstanceLock> TryTakeInstanceLock(std::string_view aName) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, Wide(aName).c_str());
  if (!mutex) return nullptr;
  const DWORD wait = WaitForSingleObject(mutex, 0);
  // An abandoned mutex belonged to a process that ended without releasing it: it is ours.
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return std::make_unique<MutexInstanceLock>(mutex);
  CloseHandle(mutex);
  return nullptr;
}

}  // namespace platform
