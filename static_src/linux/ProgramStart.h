// The hand-off to the program and its start. Once the files are in place the launcher becomes the
// program (execve): no process waits between the caller and the program, signals reach it
// directly, and its exit status, or the signal that ended it, is the caller's to see as for any
// program. The launcher's standard streams, current directory, signal dispositions and mask pass
// on unchanged.
#pragma once

// Sets TOLVAR_ONEFILE_DIRECTORY to the launcher's folder and TOLVAR_ORIGINAL_ARGV0 to its argument
// zero as called, both as bytes, unchanged.
void publishHandOffVariables(const char* argument_zero);

// Runs ChildExecutableBytes in place of the launcher with the launcher's arguments, byte for byte,
// except argument zero, which becomes the launcher's full path (as on Windows: a program that
// starts itself again through it starts the launcher). Returns never: a failed start ends the
// launcher with "Error, couldn't launch child" and the system's error code, exit code 2.
[[noreturn]] void startProgram(int argument_count, char** arguments);
