// Finding the thread in which a wave-audio MCI driver runs an asynchronous
// record command, so that the device can be closed safely.
#ifndef KALVORN_PLATFORM_WIN32_RECORDTHREAD_H
#define KALVORN_PLATFORM_WIN32_RECORDTHREAD_H

#include <windows.h>

const int MaxThreadIds = 256;

// This process's threads at one moment, each held open: Windows gives the
// identifier of a thread that ends to a new thread only once no handle to
// the old one is left, so while the set is held, no thread started since
// can carry an identifier in it.
struct ThreadIdSet {
  DWORD Ids[MaxThreadIds];
  HANDLE Held[MaxThreadIds];  // 0 where the thread could not be opened
  int Count;
};

// This process's threads now; empty where the system cannot say.
void SnapshotThreads(ThreadIdSet* threads);

// Lets go of the threads held.
void ReleaseThreads(ThreadIdSet* threads);

// A thread that is not one of those held in `before`, whose start routine lies
// in the wave-audio MCI driver (a module named mciwave), opened for waiting; 0
// when there is none, as on a system whose driver records without a thread
// of its own.
HANDLE FindDriverThreadSince(const ThreadIdSet& before);

#endif
