/* hold_open.exe FILE SECONDS: opens FILE without sharing it, as a running game holds its archives,
   prints "held" once it does and keeps it open for SECONDS. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  puts("held");
  fflush(stdout);
  Sleep((DWORD)_wtoi(argv[2]) * 1000);
  CloseHandle(file);
  return 0;
}
