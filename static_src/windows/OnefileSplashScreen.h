// The splash window made from resource 28, and the feedback file through which the child
// dismisses it.
#pragma once

#include <windows.h>

#include "WideString.h"

// The splash window; null before it is shown, when there is none, and once it is dismissed.
extern HWND splash_window;

// The expanded feedback file path, filled once by createSplashFeedback.
extern WideBuffer<4096> splashFeedbackPath;

// True from the expansion of the feedback path until a poll finds the file gone.
extern bool splashFeedbackPending;

// When the launcher carries an image (resource 28): loads the desktop libraries, initialises COM
// on the calling thread, shows the splash if the image is usable and creates the feedback file.
// Silent on every failure, also a window that cannot be created.
void showSplash();

// Creates the empty feedback file (replacing one of the same name) and starts the watch on it,
// even when the file could not be created. Called by showSplash once the window is up.
void createSplashFeedback();

// True while the launcher should keep polling; destroys the window once the child has deleted the
// feedback file.
bool pollSplashFeedback();

// Destroys the splash window, if there is one, on the thread that showed it.
void dismissSplash();

// WaitForSingleObject for the thread that showed the splash: while the window exists, its
// messages are dispatched during the wait, so that the window never stops answering.
DWORD waitKeepingSplashResponsive(HANDLE object, DWORD timeout);
