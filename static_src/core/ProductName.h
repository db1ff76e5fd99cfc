// The product's name as its users know it.
#pragma once

#include "OnefilePlatform.h"

// The title of the launcher's message boxes.
const WideUnit* productName();
