// Plays a short operator session on the simulated rig with its view open, for scripts/demo: open,
// home both turntables, move them to slots, turn one, with pauses a viewer can follow. After the
// slot moves it asks the recorder for a still picture (--still MARKER: a file it creates and waits
// to see removed).
#include <windows.h>

#include <string>

#include "driver/operator_steps.h"

namespace halvane::demo {
namespace {

constexpr DWORD kPauseMs = 1200;  // between steps, for the viewer; nothing waits on it
constexpr auto kMoveWait = std::chrono::seconds(60);

void pause() {
  Sleep(kPauseMs);
}

bool step(e2e::ProgramSession& session, int button) {
  session.window().click(button);
  Sleep(200);  // the buttons grey out first
  return e2e::waitForCommandButtons(session.window(), true, kMoveWait);
}

}  // namespace
}  // namespace halvane::demo

int main(int argc, char** argv) {
  using namespace halvane;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  std::wstring still;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--still") {
      still = halvane::widen(argv[++i]);
    }
  }
  e2e::SessionOptions options;
  options.folderName = L"demo";
  options.simulatorSettings = {{L"HALVANE_SIM_VIEW", L"1"}, {L"HALVANE_SIM_TIME_SCALE", L"3"}};
  e2e::ProgramSession session(options);
  if (!session.started()) {
    return 1;
  }
  e2e::WindowProbe& window = session.window();
  demo::pause();
  if (!e2e::openAndConfigure(session)) {
    return 1;
  }
  demo::pause();
  if (!demo::step(session, IDC_RESET1) || !demo::step(session, IDC_RESET2)) {
    return 1;
  }
  demo::pause();
  window.selectListRow(IDC_POSITION1, 3);  // 位置4
  window.selectListRow(IDC_POSITION2, 1);  // 位置2
  if (!demo::step(session, IDC_SEND_POSITION1) || !demo::step(session, IDC_SEND_POSITION2)) {
    return 1;
  }
  demo::pause();
  if (!still.empty()) {
    // The recorder takes the picture when this file appears and removes it when done.
    const HANDLE marker = CreateFileW(still.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(marker);
    e2e::waitUntil([&] { return GetFileAttributesW(still.c_str()) == INVALID_FILE_ATTRIBUTES; });
  }
  window.setText(IDC_FORWARD_ANGLE2, L"90");
  if (!demo::step(session, IDC_SEND_FORWARD2)) {
    return 1;
  }
  demo::pause();
  e2e::endDriver(0);
}
