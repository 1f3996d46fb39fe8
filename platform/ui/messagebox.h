// Message boxes. Texts are ANSI (Windows-1252) and reach the backend as given.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/window.h"

// Buttons.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xF;
// Icons.
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0xF0;
// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x000;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_DEFMASK = 0xF00;
// Modality and placement (recorded, no effect headless).
constexpr UINT MB_APPLMODAL = 0x0000;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr UINT MB_SETFOREGROUND = 0x10000;
constexpr UINT MB_TOPMOST = 0x40000;

// Results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a box and returns the button chosen; `caption` NULL reads "Error",
// as on Windows. 0 for a button set that does not exist.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
// The framework's box: owned by the active window, captioned with the application name.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
inline int AfxMessageBox(const std::string& text, UINT type = MB_OK, UINT helpId = 0) {
  return AfxMessageBox(text.c_str(), type, helpId);
}

namespace winport::ui {

// The buttons a box type offers, left to right; empty for an unknown set.
std::vector<int> ButtonsOf(UINT type);
// The button that Enter chooses (MB_DEFBUTTONn, the first when n is past the end).
int DefaultButtonOf(UINT type);

void SetApplicationName(const std::string& name);
std::string ApplicationName();

}  // namespace winport::ui
