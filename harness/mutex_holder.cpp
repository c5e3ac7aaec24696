// mutex-holder ARGS...: holds the installer's instance mutex for the same
// arguments, as a running installer would, until its standard input closes.
// Prints "held" once the mutex exists.
#include <windows.h>

#include <cstdio>

#include "core/arguments.h"
#include "core/process_arguments.h"
#include "core/wide_win32.h"

int wmain() {
  const std::wstring name =
      quarvel::win32::widen(quarvel::instance_mutex_name(quarvel::process_arguments()));
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr)
    return 1;
  std::printf("held\n");
  std::fflush(stdout);
  char byte;
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr) && read > 0) {
  }
  CloseHandle(mutex);
  return 0;
}
