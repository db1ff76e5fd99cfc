// The launcher's own environment, by ASCII variable name (at most 39 characters).
#pragma once

#include "OnefilePlatform.h"

// A newly allocated copy of the value, owned by the caller, or null when the variable is unset,
// empty, longer than 32767 units, or the copy cannot be allocated.
WideUnit* getEnvironmentValue(const char* name);

// Best effort: a failure is not noticed.
void setEnvironmentValue(const char* name, const WideUnit* value);
