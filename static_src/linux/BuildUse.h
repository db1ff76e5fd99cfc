// The sign that a build's folder is in use on Linux, which a start that removes other builds'
// folders must respect.
//
// The launcher becomes the program (execve), so no launcher process is left to hold a sign while
// the program runs: the program holds it without knowing. The start takes flock(LOCK_SH) on the
// program's file on a descriptor opened without O_CLOEXEC, which passes through the execve and to
// every child the program forks; the kernel drops the lock when the last process holding it ends,
// however it ends, and a remover that cannot take LOCK_EX | LOCK_NB there leaves the folder alone.
//
// Not on the folder itself: the folder carries the extraction lock (LOCK_EX while a start checks
// and writes it), and a shared lock on the same inode held by a running program would keep a
// second start of the same build waiting for the first program to end. The program's file is the
// build's own and is replaced only when its content is no longer what was unpacked.
//
// The sign is taken under the extraction lock, and a remover takes that lock (without waiting)
// before it looks for the sign: no start can be between its files' check and its sign while a
// remover looks. A program that closes every descriptor it inherited drops the sign with it.
#pragma once

// Best effort: `program` is the program's path as the system takes it. Never closed.
void markBuildInUse(const char* program);

// Whether a running program holds the sign on the open file `program`.
bool buildInUse(int program);
