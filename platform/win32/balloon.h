// The balloon that tells the user what became of a click: a tracking tool
// tip beside a control of the main window, which never takes the keyboard.
#pragma once

#include <windows.h>

#include <string>

namespace tovira::win32 {

// How long a balloon stays.
inline constexpr UINT kBalloonShowMs = 5000;

// Shows `text` beside the control `control_id` of `window` for
// kBalloonShowMs; a newer balloon replaces the one shown.
void show_balloon(HINSTANCE instance, HWND window, int control_id, const std::wstring& text);

}  // namespace tovira::win32
