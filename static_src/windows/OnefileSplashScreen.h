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

// Initialises COM on the calling thread, then shows the splash when there is a usable image and
// creates the feedback file. Silent on every failure but a window that cannot be created, which
// ends the launcher with a failed assertion.
void showSplash();

// Creates the empty feedback file (replacing one of the same name) and starts the watch on it,
// even when the file could not be created. Called by showSplash once the window is up.
void createSplashFeedback();

// True while the launcher should keep polling; destroys the window once the child has deleted the
// feedback file.
bool pollSplashFeedback();
