// The splash window made from resource 28, and the feedback file through which the child
// dismisses it.
#pragma once

#include <windows.h>

extern HWND splash_window;

// Initialises COM on the calling thread, then shows the splash when there is a usable image and
// creates the feedback file. Silent on every failure but a window that cannot be created.
void showSplash();

// True while the launcher should keep polling; destroys the window when the child has deleted the
// feedback file.
bool pollSplashFeedback();
