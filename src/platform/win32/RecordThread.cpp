#include "platform/win32/RecordThread.h"

#include <tlhelp32.h>

namespace {

// Functions that not every Windows has are looked up at run time: the
// Toolhelp thread functions and OpenThread are missing on Windows NT 4.0,
// OpenThread also on Windows 95 and 98, and NtQueryInformationThread exists
// only on Windows NT. Without them the driver's thread cannot be found, and
// the device is closed as on a system whose driver records without one.
typedef HANDLE(WINAPI* CreateSnapshotFunction)(DWORD flags, DWORD process);
typedef BOOL(WINAPI* ThreadWalkFunction)(HANDLE snapshot, THREADENTRY32* entry);
typedef HANDLE(WINAPI* OpenThreadFunction)(DWORD access, BOOL inherit,
                                           DWORD threadId);
typedef LONG(WINAPI* QueryThreadFunction)(HANDLE thread, int infoClass,
                                          PVOID info, ULONG size,
                                          PULONG returned);
const int ThreadQuerySetWin32StartAddress = 9;

// The function of that name in a module already loaded; 0 when either is
// missing.
template <typename Function>
Function Lookup(const char* module, const char* function) {
  HMODULE handle = GetModuleHandleA(module);
  return handle == 0 ? 0
                     : reinterpret_cast<Function>(reinterpret_cast<void*>(
                           GetProcAddress(handle, function)));
}

// Whether `id` is that of a thread held in `threads`. A thread listed but not
// held (it ended before it could be opened) does not count: its identifier
// may already have passed to a thread started since.
bool HeldIn(const ThreadIdSet& threads, DWORD id) {
  for (int i = 0; i < threads.Count; ++i) {
    if (threads.Held[i] != 0 && threads.Ids[i] == id) {
      return true;
    }
  }
  return false;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsInWaveDriver(HANDLE thread, QueryThreadFunction query) {
  void* start = 0;
  if (query(thread, ThreadQuerySetWin32StartAddress, &start, sizeof(start),
            0) != 0 ||
      start == 0) {
    return false;
  }
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(start, &region, sizeof(region)) == 0 ||
      region.AllocationBase == 0) {
    return false;
  }
  char path[MAX_PATH] = {0};
  const DWORD length = GetModuleFileNameA(
      static_cast<HMODULE>(region.AllocationBase), path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) {
    return false;
  }
  DWORD nameStart = 0;
  for (DWORD i = 0; i < length; ++i) {
    if (path[i] == '\\' || path[i] == '/') {
      nameStart = i + 1;
    }
  }
  // The module's file name begins with "mciwave", in any letter case.
  const char driver[] = "mciwave";
  const DWORD driverLength = sizeof(driver) - 1;
  if (length - nameStart < driverLength) {
    return false;
  }
  for (DWORD i = 0; i < driverLength; ++i) {
    if (LowerAscii(path[nameStart + i]) != driver[i]) {
      return false;
    }
  }
  return true;
}

// The identifiers of this process's threads now, not held.
void ListThreads(ThreadIdSet* threads) {
  threads->Count = 0;
  CreateSnapshotFunction createSnapshot = Lookup<CreateSnapshotFunction>(
      "kernel32.dll", "CreateToolhelp32Snapshot");
  ThreadWalkFunction first =
      Lookup<ThreadWalkFunction>("kernel32.dll", "Thread32First");
  ThreadWalkFunction next =
      Lookup<ThreadWalkFunction>("kernel32.dll", "Thread32Next");
  if (createSnapshot == 0 || first == 0 || next == 0) {
    return;
  }
  HANDLE snapshot = createSnapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return;
  }
  const DWORD process = GetCurrentProcessId();
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = first(snapshot, &entry);
       more != FALSE && threads->Count < MaxThreadIds;
       more = next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == process) {
      threads->Held[threads->Count] = 0;
      threads->Ids[threads->Count++] = entry.th32ThreadID;
    }
  }
  CloseHandle(snapshot);
}

}  // namespace

void SnapshotThreads(ThreadIdSet* threads) {
  threads->Count = 0;
  OpenThreadFunction openThread =
      Lookup<OpenThreadFunction>("kernel32.dll", "OpenThread");
  if (openThread == 0) {
    return;
  }
  ListThreads(threads);
  for (int i = 0; i < threads->Count; ++i) {
    threads->Held[i] = openThread(SYNCHRONIZE, FALSE, threads->Ids[i]);
  }
}

void ReleaseThreads(ThreadIdSet* threads) {
  for (int i = 0; i < threads->Count; ++i) {
    if (threads->Held[i] != 0) {
      CloseHandle(threads->Held[i]);
    }
  }
  threads->Count = 0;
}

HANDLE FindDriverThreadSince(const ThreadIdSet& before) {
  OpenThreadFunction openThread =
      Lookup<OpenThreadFunction>("kernel32.dll", "OpenThread");
  QueryThreadFunction query =
      Lookup<QueryThreadFunction>("ntdll.dll", "NtQueryInformationThread");
  if (openThread == 0 || query == 0) {
    return 0;
  }
  ThreadIdSet now;
  ListThreads(&now);
  for (int i = 0; i < now.Count; ++i) {
    if (HeldIn(before, now.Ids[i])) {
      continue;
    }
    HANDLE thread =
        openThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, now.Ids[i]);
    if (thread == 0) {
      continue;
    }
    if (StartsInWaveDriver(thread, query)) {
      return thread;
    }
    CloseHandle(thread);
  }
  return 0;
}
