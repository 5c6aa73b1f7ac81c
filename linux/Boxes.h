// Finding and reading the message boxes a program shows in the same Wine
// (or Windows) session: shared by the launcher's reader, which only reads
// them, and the virtual board's answerer (scripts/session), which also
// presses OK.
#ifndef KALVORN_LAUNCHER_BOXES_H
#define KALVORN_LAUNCHER_BOXES_H

#include <windows.h>

// The boxes already read, so that each is read once.
struct SeenBoxes {
  static const int Most = 16;
  HWND Windows[Most];
  int Count;
};

inline bool WasSeen(const SeenBoxes& seen, HWND window) {
  for (int i = 0; i < seen.Count; ++i) {
    if (seen.Windows[i] == window) return true;
  }
  return false;
}

struct BoxSearch {
  const SeenBoxes* Seen;
  DWORD ProcessId;  // 0: any process's
  HWND Found;
};

// A message box not read yet, of the process searched for, whose OK button
// is visible: it is fully shown. Boxes still being drawn, and the boxes of
// other programs, are passed over.
inline BOOL CALLBACK FindUnseenBox(HWND window, LPARAM parameter) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(parameter);
  char className[64];
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (!IsWindowVisible(window) || WasSeen(*search->Seen, window) ||
      (search->ProcessId != 0 && owner != search->ProcessId) ||
      GetClassNameA(window, className, sizeof(className)) == 0 ||
      lstrcmpA(className, "#32770") != 0) {
    return TRUE;
  }
  HWND ok = GetDlgItem(window, IDOK);
  if (ok == 0 || !IsWindowVisible(ok)) return TRUE;
  search->Found = window;
  return FALSE;
}

// A box of process `processId` (0: of any) fully shown and not read yet; 0
// when there is none.
inline HWND ShownBox(const SeenBoxes& seen, DWORD processId = 0) {
  BoxSearch search = {&seen, processId, 0};
  EnumWindows(FindUnseenBox, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// Notes a box as read; returns its number, from 1.
inline int MarkSeen(SeenBoxes* seen, HWND box) {
  seen->Windows[seen->Count] = box;
  return ++seen->Count;
}

// The caption and the text of a message box (its static control, id
// 0xFFFF).
inline void ReadBox(HWND box, char* caption, int captionSize, char* text,
                    int textSize) {
  if (GetWindowTextA(box, caption, captionSize) == 0) caption[0] = '\0';
  if (GetDlgItemTextA(box, 0xFFFF, text, textSize) == 0) text[0] = '\0';
}

#endif
