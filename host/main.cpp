// Process entry: every role of the executable starts here.
#include <windows.h>

#include "diag/log.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  nimo::WriteLog("[nimo-webengine] launched cmdline=%s\n", GetCommandLineA());
  return 1;
}
