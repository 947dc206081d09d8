// Starting a process under Wine: now and then, on a busy machine, Wine refuses a start with
// ERROR_INTERNAL_ERROR. That is the test machine, not the program under test, so such a
// start is tried again (three times in all); any other failure is returned at once.
// Windows only; any thread.
#pragma once
#include <windows.h>

namespace nimo_test {

// `start` makes one attempt (a CreateProcess call) and returns whether it started.
template <typename Start>
bool StartRetrying(Start start) {
  for (int attempt = 1;; ++attempt) {
    if (start()) return true;
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) return false;
    Sleep(200);
  }
}

}  // namespace nimo_test
