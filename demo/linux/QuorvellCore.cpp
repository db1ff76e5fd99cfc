#include "QuorvellCore.h"

extern "C" const char* quorvellMotto() { return "one file in, a whole folder out"; }
