// scanner-stand-in PATH SHARE HOLD_MS [MIN_SIZE]: imitates an on-access virus
// scanner. Waits (up to 60 s) until PATH exists with at least MIN_SIZE bytes
// and can be opened for reading with the sharing mode SHARE ("r", "w" and "d"
// for read, write and delete sharing, "-" for none), holds it open for HOLD_MS
// milliseconds and closes it. Prints "held" when it has the file and
// "released" when it let it go; exits 0, or 2 when the file never came.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

DWORD share_mode(const wchar_t* letters) {
  DWORD share = 0;
  for (const wchar_t* c = letters; *c != L'\0'; ++c) {
    if (*c == L'r')
      share |= FILE_SHARE_READ;
    if (*c == L'w')
      share |= FILE_SHARE_WRITE;
    if (*c == L'd')
      share |= FILE_SHARE_DELETE;
  }
  return share;
}

void say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

// The open file once it has the size, or INVALID_HANDLE_VALUE after 60 s.
HANDLE wait_and_open(const wchar_t* path, DWORD share, long long min_size) {
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (GetTickCount64() < deadline) {
    const HANDLE file = CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      LARGE_INTEGER size{};
      if (GetFileSizeEx(file, &size) && size.QuadPart >= min_size)
        return file;
      CloseHandle(file);
    }
    Sleep(1);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4)
    return 1;
  const long long min_size = argc > 4 ? _wtoi64(argv[4]) : 0;
  const HANDLE file = wait_and_open(argv[1], share_mode(argv[2]), min_size);
  if (file == INVALID_HANDLE_VALUE) {
    say("never held");
    return 2;
  }
  say("held");
  Sleep(static_cast<DWORD>(_wtoi(argv[3])));
  CloseHandle(file);
  say("released");
  return 0;
}
