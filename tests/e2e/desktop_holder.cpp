// Keeps Wine's desktop up for as long as it runs; the Wine session starts it once, with no output,
// before any test.
//
// Wine ends its desktop a second after the last program using it ends, and the next program that
// needs a desktop starts it again as its own child. Wine hands every child the parent's Unix
// standard error, whatever handles the parent gives it: a desktop started by a program under test
// would hold the test runner's pipe open, and the runner would wait for the desktop, not for the
// test.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Asking for the desktop window makes this program one of the desktop's users, and starts the
  // desktop with this program's output (none) if it is not up yet.
  if (GetDesktopWindow() == nullptr) {
    return 1;
  }
  // Ends with the Wine session.
  Sleep(INFINITE);
  return 0;
}
