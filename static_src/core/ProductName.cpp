#include "ProductName.h"

#include "LauncherBuildConfig.h"

const WideUnit* productName() { return WIDE_TEXT(ONEFILE_PRODUCT_NAME); }
