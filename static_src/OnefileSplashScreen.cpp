#include "OnefileSplashScreen.h"

#include <objbase.h>

HWND splash_window = nullptr;

void showSplash() { CoInitialize(nullptr); }

bool pollSplashFeedback() { return false; }
