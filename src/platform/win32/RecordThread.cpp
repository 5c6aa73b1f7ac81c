#include "platform/win32/RecordThread.h"

#include <tlhelp32.h>

namespace {

// NtQueryInformationThread, looked up at run time so that the program does not
// import from ntdll.
typedef LONG(WINAPI* QueryThreadInformation)(HANDLE thread, int infoClass,
                                             PVOID info, ULONG size,
                                             PULONG returned);
const int ThreadQuerySetWin32StartAddress = 9;

bool Contains(const ThreadIdSet& threads, DWORD id) {
  for (int i = 0; i < threads.Count; ++i) {
    if (threads.Ids[i] == id) {
      return true;
    }
  }
  return false;
}

bool StartsInWaveDriver(HANDLE thread, QueryThreadInformation query) {
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
  const char driver[] = "mciwave";
  const int driverLength = sizeof(driver) - 1;
  return length - nameStart >= static_cast<DWORD>(driverLength) &&
         CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path + nameStart,
                        driverLength, driver, driverLength) == CSTR_EQUAL;
}

}  // namespace

void SnapshotThreads(ThreadIdSet* threads) {
  threads->Count = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return;
  }
  const DWORD process = GetCurrentProcessId();
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry);
       more != FALSE && threads->Count < MaxThreadIds;
       more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == process) {
      threads->Ids[threads->Count++] = entry.th32ThreadID;
    }
  }
  CloseHandle(snapshot);
}

HANDLE FindDriverThreadSince(const ThreadIdSet& before) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == 0) {
    return 0;
  }
  QueryThreadInformation query =
      reinterpret_cast<QueryThreadInformation>(reinterpret_cast<void*>(
          GetProcAddress(ntdll, "NtQueryInformationThread")));
  if (query == 0) {
    return 0;
  }
  ThreadIdSet now;
  SnapshotThreads(&now);
  for (int i = 0; i < now.Count; ++i) {
    if (Contains(before, now.Ids[i])) {
      continue;
    }
    HANDLE thread =
        OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, now.Ids[i]);
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
