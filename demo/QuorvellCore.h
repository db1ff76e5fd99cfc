// The demo's library: the main program links it, so the loader has to find it beside the
// program in the extraction directory.
#pragma once

#ifdef QUORVELL_CORE_BUILD
#define QUORVELL_CORE_API __declspec(dllexport)
#else
#define QUORVELL_CORE_API __declspec(dllimport)
#endif

extern "C" QUORVELL_CORE_API const wchar_t* quorvellMotto();
