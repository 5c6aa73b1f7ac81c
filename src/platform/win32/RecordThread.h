// Finding the thread in which a wave-audio MCI driver runs an asynchronous
// record command, so that the device can be closed safely.
#ifndef KALVORN_PLATFORM_WIN32_RECORDTHREAD_H
#define KALVORN_PLATFORM_WIN32_RECORDTHREAD_H

#include <windows.h>

const int MaxThreadIds = 256;

struct ThreadIdSet {
  DWORD Ids[MaxThreadIds];
  int Count;
};

// The identifiers of this process's threads now.
void SnapshotThreads(ThreadIdSet* threads);

// A thread started since `before` whose start routine lies in the wave-audio
// MCI driver (a module named mciwave), opened for waiting; 0 when there is
// none, as on a system whose driver records without a thread of its own.
HANDLE FindDriverThreadSince(const ThreadIdSet& before);

#endif
