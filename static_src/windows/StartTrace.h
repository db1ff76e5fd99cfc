// Where a start's time goes: a launcher built with ONEFILE_START_TRACE (bench/ builds one,
// onefile-launcher-trace) notes the system's precise time at each step of its start and, before it
// ends, appends them to the file that the environment variable "ONEFILE_START_TRACE_FILE" names.
// bench-phases turns them into times since the start was asked for. The launcher that ships is
// built without it: there every step is an empty inline function, so its image holds no trace of
// the trace.
#pragma once

#ifdef ONEFILE_START_TRACE
// `step` must be a literal: only the pointer is kept.
void traceStartStep(const char* step);
void writeStartTrace();
#else
inline void traceStartStep(const char*) {}
inline void writeStartTrace() {}
#endif
