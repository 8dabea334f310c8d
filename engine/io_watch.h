// Reads and opens of files on a share run on the window's thread, watched: a
// call that has not returned within kSlowIoMs is cancelled from a thread of
// the watch's own (CancelSynchronousIo) and fails as aborted, so that a share
// that stops answering holds neither the window nor the other files.
#pragma once
#include <windows.h>

constexpr DWORD kSlowIoMs = 100;

// Whether a path lies on a share (a UNC path, or a drive the system calls remote).
bool OnShare(const wchar_t* fullPath);

// The watch runs while the thread that calls it has files on shares open.
void StartIoWatch();
void StopIoWatch();
// Around one call of the starting thread: false from EndWatchedIo when the
// watch cut it off.
void BeginWatchedIo();
bool EndWatchedIo();
