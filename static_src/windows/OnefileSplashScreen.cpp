#include "OnefileSplashScreen.h"

#include <string.h>

#include "DesktopLibraries.h"
#include "LauncherBuildConfig.h"
#include "LocationTemplate.h"
#include "SplashPlacement.h"

HWND splash_window = nullptr;
WideBuffer<4096> splashFeedbackPath = {0};
bool splashFeedbackPending = false;

namespace {

constexpr WORD kSplashResourceId = 28;
constexpr WORD kRawDataResourceType = 10;  // RT_RCDATA
constexpr WORD kArrowCursorId = 32512;     // IDC_ARROW, spelled out for the ANSI loader
const char kSplashClassName[] = "Splash";
const WideUnit kFeedbackTemplate[] = WIDE_TEXT(ONEFILE_SPLASH_FEEDBACK_TEMPLATE);

// Spelled out so that the decoder and the pixel format never depend on the SDK headers' choice.
const CLSID kPngDecoderClass = {0x389ea17b, 0x5078, 0x4cde, {0xb6, 0xef, 0x25, 0xc1, 0x51, 0x75, 0xc7, 0x51}};
const IID kBitmapDecoderInterface = {0x9edde9e7, 0x8dee, 0x47ea, {0x99, 0xdf, 0xe6, 0xfa, 0xf2, 0xed, 0x44, 0xbf}};
const GUID kPremultipliedBgra = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};

// Whatever a splash needs besides kernel32, all of it or nothing.
bool splashLibrariesLoaded() {
  return user32() != nullptr && gdi32() != nullptr && ole32() != nullptr && windowsCodecs() != nullptr;
}

// A stream over a movable copy of the resource; the stream owns the copy and frees it with its
// last release. Null when the resource cannot be read or there is no memory for the copy.
IStream* openSplashImage(HRSRC resource) {
  const DWORD size = SizeofResource(nullptr, resource);
  HGLOBAL loaded = LoadResource(nullptr, resource);
  if (loaded == nullptr) return nullptr;
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return nullptr;

  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
  if (copy == nullptr) return nullptr;
  void* target = GlobalLock(copy);
  if (target == nullptr) {
    GlobalFree(copy);
    return nullptr;
  }
  memcpy(target, bytes, size);
  GlobalUnlock(copy);

  IStream* stream = nullptr;
  if (FAILED(ole32()->CreateStreamOnHGlobal(copy, TRUE, &stream))) {
    GlobalFree(copy);
    return nullptr;
  }
  return stream;
}

// The image's single frame as premultiplied BGRA, or null. The bytes go to the PNG decoder alone:
// whatever else resource 28 may hold is not a splash image. Releases the stream in every case.
IWICBitmapSource* decodeSplashImage(IStream* stream) {
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  UINT frame_count = 0;
  const bool decoded =
      SUCCEEDED(ole32()->CoCreateInstance(kPngDecoderClass, nullptr, CLSCTX_INPROC_SERVER, kBitmapDecoderInterface,
                                 reinterpret_cast<void**>(&decoder))) &&
      decoder != nullptr && SUCCEEDED(decoder->Initialize(stream, WICDecodeMetadataCacheOnLoad)) &&
      SUCCEEDED(decoder->GetFrameCount(&frame_count)) && frame_count == 1 &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) && frame != nullptr;
  if (!decoded) {
    if (decoder != nullptr) decoder->Release();
    stream->Release();
    return nullptr;
  }

  // Only the pointer tells: the converter may fail without a useful code.
  IWICBitmapSource* converted = nullptr;
  windowsCodecs()->WICConvertBitmapSource(kPremultipliedBgra, frame, &converted);
  // The converted source keeps what it still needs through references of its own.
  frame->Release();
  decoder->Release();
  stream->Release();
  return converted;
}

// A top-down 32-bit DIB section of exactly the image's size holding its pixels, or null. Releases
// the source in every case.
HBITMAP renderSplashBitmap(IWICBitmapSource* source) {
  const User32& user = *user32();
  const Gdi32& gdi = *gdi32();
  UINT width = 0;
  UINT height = 0;
  SplashPixelLayout layout = {0, 0};
  if (FAILED(source->GetSize(&width, &height)) || !splashPixelLayout(width, height, layout)) {
    source->Release();
    return nullptr;
  }

  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;

  void* pixels = nullptr;
  HDC screen = user.GetDC(nullptr);
  HBITMAP bitmap = gdi.CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  user.ReleaseDC(nullptr, screen);
  if (bitmap == nullptr || pixels == nullptr) {
    if (bitmap != nullptr) gdi.DeleteObject(bitmap);
    source->Release();
    return nullptr;
  }

  const HRESULT copied = source->CopyPixels(nullptr, layout.row_stride, layout.buffer_size, static_cast<BYTE*>(pixels));
  source->Release();
  if (FAILED(copied)) {
    gdi.DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

HWND createSplashWindow() {
  const User32& user = *user32();
  WNDCLASSA window_class;
  memset(&window_class, 0, sizeof window_class);
  window_class.lpfnWndProc = user.DefWindowProcA;
  window_class.hCursor = user.LoadCursorA(nullptr, MAKEINTRESOURCEA(kArrowCursorId));
  window_class.lpszClassName = kSplashClassName;
  // A failed registration shows itself as a window that cannot be created.
  user.RegisterClassA(&window_class);
  // WS_EX_TOOLWINDOW keeps the splash off the task bar and out of the window switcher: without an
  // owner it would otherwise get a button of its own, blank (no title, no icon), which the user
  // could pick and which would vanish as soon as the application's own window takes over.
  return user.CreateWindowExA(WS_EX_LAYERED | WS_EX_TOOLWINDOW, kSplashClassName, nullptr, WS_POPUP | WS_VISIBLE, 0, 0, 0,
                         0, nullptr, nullptr, nullptr, nullptr);
}

// Position, size and content in one update, which is also what makes a layered window visible:
// the window never shows at the 0, 0 it was created at.
void placeSplashWindow(HWND window, HBITMAP bitmap) {
  const User32& user = *user32();
  const Gdi32& gdi = *gdi32();
  BITMAP dimensions;
  memset(&dimensions, 0, sizeof dimensions);
  gdi.GetObjectA(bitmap, sizeof dimensions, &dimensions);

  // A failed query leaves the work area all zero, which centres the image on the origin.
  MONITORINFO monitor;
  memset(&monitor, 0, sizeof monitor);
  monitor.cbSize = sizeof monitor;
  const POINT origin_point = {0, 0};
  user.GetMonitorInfoA(user.MonitorFromPoint(origin_point, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const SplashWorkArea area = {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
  const SplashOrigin origin = centreSplash(area, dimensions.bmWidth, dimensions.bmHeight);

  HDC screen = user.GetDC(nullptr);
  HDC memory = gdi.CreateCompatibleDC(screen);
  HGDIOBJ replaced = gdi.SelectObject(memory, bitmap);
  POINT destination = {origin.x, origin.y};
  SIZE size = {dimensions.bmWidth, dimensions.bmHeight};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  user.UpdateLayeredWindow(window, screen, &destination, &size, memory, &source, 0, &blend, ULW_ALPHA);
  gdi.SelectObject(memory, replaced);
  gdi.DeleteDC(memory);
  user.ReleaseDC(nullptr, screen);
}

// Every message waiting for this thread, which owns the splash window: the window answers, and
// the system never takes it for a hung one. The user may close it meanwhile (the window procedure
// is the system's own): then it is gone as if dismissed.
void dispatchSplashMessages() {
  const User32& user = *user32();
  MSG message;
  while (user.PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    user.TranslateMessage(&message);
    user.DispatchMessageA(&message);
  }
  if (!user.IsWindow(splash_window)) splash_window = nullptr;
}

}  // namespace

void showSplash() {
  // The resource first: a start without an image loads no desktop library and initialises no COM.
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kSplashResourceId), MAKEINTRESOURCEA(kRawDataResourceType));
  if (resource == nullptr || !splashLibrariesLoaded()) return;
  ole32()->CoInitialize(nullptr);
  IStream* stream = openSplashImage(resource);
  if (stream == nullptr) return;
  IWICBitmapSource* image = decodeSplashImage(stream);
  if (image == nullptr) return;
  HBITMAP bitmap = renderSplashBitmap(image);
  if (bitmap == nullptr) return;

  // A picture must never stop an application from starting: without a window, no splash.
  HWND window = createSplashWindow();
  if (window != nullptr) placeSplashWindow(window, bitmap);
  // The window keeps its own copy of the content after the update; the bitmap would only hold
  // memory for as long as the child runs.
  gdi32()->DeleteObject(bitmap);
  if (window == nullptr) return;

  splash_window = window;
  createSplashFeedback();
}

void createSplashFeedback() {
  if (!expandLocationTemplate(splashFeedbackPath, kFeedbackTemplate, 4096)) return;
  HANDLE file = CreateFileW(splashFeedbackPath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  // Pending even without a file: the first poll then finds it missing and dismisses the splash,
  // instead of leaving it up for the whole run.
  splashFeedbackPending = true;
}

bool pollSplashFeedback() {
  if (!splashFeedbackPending) return false;
  // Any reason for the path not to exist counts as the child's signal.
  if (GetFileAttributesW(splashFeedbackPath) != INVALID_FILE_ATTRIBUTES) return true;
  dismissSplash();
  splashFeedbackPending = false;
  return false;
}

void dismissSplash() {
  if (splash_window == nullptr) return;
  user32()->DestroyWindow(splash_window);
  splash_window = nullptr;
}

DWORD waitKeepingSplashResponsive(HANDLE object, DWORD timeout) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD remaining = timeout;
    if (timeout != INFINITE) {
      const ULONGLONG waited = GetTickCount64() - start;
      remaining = waited >= timeout ? 0 : static_cast<DWORD>(timeout - waited);
    }
    if (splash_window == nullptr) return WaitForSingleObject(object, remaining);
    // Messages already in the queue wake the wait too, not only new ones.
    const DWORD result =
        user32()->MsgWaitForMultipleObjectsEx(1, &object, remaining, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (result != WAIT_OBJECT_0 + 1) return result;
    dispatchSplashMessages();
  }
}
