#include "ProductName.h"

#include "LauncherSettings.h"

// The packed name once the settings resource was read; the stub's own before and without it.
const WideUnit* productName() { return activeLauncherSettings().product; }
