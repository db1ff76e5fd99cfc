// The launcher's settings resource (29) in its own module, read before anything is expanded or
// written.
#pragma once

#include "OnefilePlatform.h"

// Makes the settings of resource 29 the active ones and returns their extraction template; without
// the resource, the compiled settings stay active and their template is returned. A resource that
// is there but cannot be loaded or read ends the launcher with one line on standard output and
// exit code 2 ("Error, couldn't read launcher settings: <reason>.").
const WideUnit* applyLauncherSettings();
