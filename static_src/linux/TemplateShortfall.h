// Why a template variable had no value on Linux, where the folders come from the environment: the
// template report names it, so that a start without HOME says what is missing.
#pragma once

// The reason of the last query that failed, such as "HOME is not set to an absolute path"; null
// when none failed.
const char* templateShortfall();
