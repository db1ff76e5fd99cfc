#include "QuorvellCore.h"

extern "C" const wchar_t* quorvellMotto() { return L"one file in, a whole folder out"; }
