// The launcher's settings as appended to it (AppendedTrailer.h), read before anything is expanded
// or written.
#pragma once

#include "OnefilePlatform.h"
#include "SelfImage.h"

// Makes the appended settings the active ones and returns their extraction template; without
// settings (no trailer, or an empty settings region) the compiled settings stay active and their
// template is returned. Settings that are there but cannot be read end the launcher with one line
// and exit code 2 ("Error, couldn't read launcher settings: <reason>.").
const WideUnit* applyLauncherSettings(const SelfImage& image);
