// The desktop's libraries (windows, drawing, COM and the imaging component), loaded on the first
// call that needs them rather than by the loader at every start. Only a start that shows
// something needs them: a splash image, or a report in a message box. Under Wine, importing
// user32 and ole32 and initialising COM cost about as much as the whole start of a small
// application.
//
// Each accessor loads its library from the system directory once (never from the launcher's own
// directory, where anyone who can write there could leave a library of that name) and finds every
// function the launcher calls in it. It gives null when the library or one of the functions cannot
// be had; its callers then do without what they meant to show. Safe on any thread; a library stays
// loaded until the process ends.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

struct User32 {
  // The splash window.
  decltype(&::GetDC) GetDC;
  decltype(&::ReleaseDC) ReleaseDC;
  decltype(&::LoadCursorA) LoadCursorA;
  decltype(&::RegisterClassA) RegisterClassA;
  decltype(&::DefWindowProcA) DefWindowProcA;
  decltype(&::CreateWindowExA) CreateWindowExA;
  decltype(&::MonitorFromPoint) MonitorFromPoint;
  decltype(&::GetMonitorInfoA) GetMonitorInfoA;
  decltype(&::UpdateLayeredWindow) UpdateLayeredWindow;
  decltype(&::IsWindow) IsWindow;
  decltype(&::DestroyWindow) DestroyWindow;
  // Waits that keep the splash window answering.
  decltype(&::MsgWaitForMultipleObjectsEx) MsgWaitForMultipleObjectsEx;
  decltype(&::PeekMessageA) PeekMessageA;
  decltype(&::TranslateMessage) TranslateMessage;
  decltype(&::DispatchMessageA) DispatchMessageA;
  // A report in a message box.
  decltype(&::GetProcessWindowStation) GetProcessWindowStation;
  decltype(&::GetUserObjectInformationW) GetUserObjectInformationW;
  decltype(&::SetTimer) SetTimer;
  decltype(&::KillTimer) KillTimer;
  decltype(&::PostQuitMessage) PostQuitMessage;
  decltype(&::PeekMessageW) PeekMessageW;
  decltype(&::MessageBoxW) MessageBoxW;
};

struct Gdi32 {
  decltype(&::CreateDIBSection) CreateDIBSection;
  decltype(&::GetObjectA) GetObjectA;
  decltype(&::CreateCompatibleDC) CreateCompatibleDC;
  decltype(&::SelectObject) SelectObject;
  decltype(&::DeleteDC) DeleteDC;
  decltype(&::DeleteObject) DeleteObject;
};

struct Ole32 {
  decltype(&::CoInitialize) CoInitialize;
  decltype(&::CreateStreamOnHGlobal) CreateStreamOnHGlobal;
  decltype(&::CoCreateInstance) CoCreateInstance;
};

struct WindowsCodecs {
  decltype(&::WICConvertBitmapSource) WICConvertBitmapSource;
};

const User32* user32();
const Gdi32* gdi32();
const Ole32* ole32();
const WindowsCodecs* windowsCodecs();
