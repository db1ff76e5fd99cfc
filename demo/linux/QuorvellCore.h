// The demo's library: the main program links it, so the loader has to find it beside the program
// in the extraction directory.
#pragma once

extern "C" __attribute__((visibility("default"))) const char* quorvellMotto();
