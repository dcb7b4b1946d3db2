// A reader of the log as many Windows programs are (.NET's File.OpenRead,
// spreadsheet programs): it opens the file sharing it with readers alone,
// so no one may write it meanwhile. hold_unshared FILE MILLISECONDS MARKER
// holds FILE that long and creates MARKER once it holds it.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE marker = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(marker);
  Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  CloseHandle(file);
  return 0;
}
