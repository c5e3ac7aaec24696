// plant-probe NAME.dll: loads a DLL by bare name with the default search
// order, as an unprotected program would; the control case of the hijacking
// test (the planted DLL must leave its marker here).
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2)
    return 2;
  return LoadLibraryW(argv[1]) != nullptr ? 0 : 1;
}
