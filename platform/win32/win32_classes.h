// Window classes, the module and resource handles and message translation: the part of the
// Win32 subset that needs no window system, shared by the SDL and web backends. It defines
// GetModuleHandleA, LoadIconA, LoadCursorA, RegisterClassA, UnregisterClassA and
// TranslateMessage; a backend's CreateWindowExA and DestroyWindow keep each class's count of
// live windows through win32_class_count_window, so that a class in use cannot be unregistered.
#pragma once

#include "platform/win32/win32.h"

// The class registered under `name`; null when none is (or `name` is null).
const WNDCLASSA* win32_find_class(const char* name);

// A window of the class `name` was created (+1) or destroyed (-1).
void win32_class_count_window(const char* name, int change);
