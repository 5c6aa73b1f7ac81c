// Answers the message boxes of a program under test, in the same Wine
// session: waits for each box, reads its caption and text once it is fully
// shown, saves a picture of it as a person sees it, and presses OK.
//
// Usage: boxanswer.exe OUTPUT-DIRECTORY LAST-CAPTION TIMEOUT-MS
//
// First it makes a window of its own, which needs Wine's desktop process
// (explorer.exe): when that process failed to start, no program of the
// session can show a window, so it says so and ends (exit 3) for the
// session to be made anew; else it writes "ready". For box N (from 1) it
// writes box-N.shown the moment the box is seen fully shown, then
// box-N.txt (the caption, a line feed, then the text) and box-N.bmp, and it
// ends when a box captioned LAST-CAPTION has been answered (exit 0) or when
// TIMEOUT-MS have passed (exit 1).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Boxes.h"

namespace {

// Waits for a box not read yet to be fully shown, until `timeoutMs` have
// passed since `startMs` (GetTickCount); 0 when none was.
HWND WaitForShownBox(const SeenBoxes& seen, DWORD startMs, DWORD timeoutMs) {
  while (GetTickCount() - startMs < timeoutMs) {
    HWND box = ShownBox(seen);
    if (box != 0) return box;
    Sleep(10);
  }
  return 0;
}

// Writes box `n`'s caption, a line feed, then its text to
// DIRECTORY\box-N.txt.
void SaveBoxText(const char* directory, int n, const char* caption,
                 const char* text) {
  char path[MAX_PATH];
  snprintf(path, sizeof(path), "%s\\box-%d.txt", directory, n);
  FILE* file = fopen(path, "wb");
  if (file == 0) return;
  fprintf(file, "%s\n%s", caption, text);
  fclose(file);
}

SeenBoxes answered = {{0}, 0};

bool SaveBitmap(HWND box, const char* path) {
  RECT rect;
  if (!GetWindowRect(box, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(0);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info;
  ZeroMemory(&info, sizeof(info));
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = 0;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, 0, 0);
  bool saved = false;
  if (bitmap != 0) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    SelectObject(memory, old);
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    const DWORD imageSize = stride * height;
    BITMAPFILEHEADER header;
    ZeroMemory(&header, sizeof(header));
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
    header.bfSize = header.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    FILE* file = fopen(path, "wb");
    if (file != 0) {
      saved = fwrite(&header, sizeof(header), 1, file) == 1 &&
              fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, file) == 1 &&
              fwrite(bits, imageSize, 1, file) == 1;
      fclose(file);
    }
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(0, screen);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fputs("usage: boxanswer OUTPUT-DIRECTORY LAST-CAPTION TIMEOUT-MS\n",
          stderr);
    return 2;
  }
  const char* directory = argv[1];
  const char* lastCaption = argv[2];
  const DWORD timeout = static_cast<DWORD>(atol(argv[3]));
  HWND probe = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, 0, 0, 0, 0);
  if (probe == 0) {
    fputs("boxanswer: no window can be made: Wine's desktop did not start\n",
          stderr);
    return 3;
  }
  DestroyWindow(probe);
  char readyPath[MAX_PATH];
  snprintf(readyPath, sizeof(readyPath), "%s\\ready", directory);
  FILE* ready = fopen(readyPath, "wb");
  if (ready != 0) fclose(ready);
  const DWORD start = GetTickCount();
  for (HWND box; (box = WaitForShownBox(answered, start, timeout)) != 0;) {
    // Mark the moment the box was seen fully shown, for timing.
    char shownPath[MAX_PATH];
    snprintf(shownPath, sizeof(shownPath), "%s\\box-%d.shown", directory,
             answered.Count + 1);
    FILE* shown = fopen(shownPath, "wb");
    if (shown != 0) fclose(shown);
    Sleep(300);  // let it paint
    RedrawWindow(box, 0, 0,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(200);
    static char caption[256];
    static char text[8192];
    ReadBox(box, caption, sizeof(caption), text, sizeof(text));
    const int n = MarkSeen(&answered, box);
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\box-%d.bmp", directory, n);
    SaveBitmap(box, path);
    SaveBoxText(directory, n, caption, text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (strcmp(caption, lastCaption) == 0) return 0;
    if (n == SeenBoxes::Most) return 1;
  }
  return 1;
}
