#include "simview/rig_view_win32.h"

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "simview/fault_panel.h"
#include "simview/scene_painter_win32.h"
#include "simview/view_texts.h"

namespace halvane::simview {
namespace {

constexpr int kClientWidth = 640;
constexpr int kSceneHeight = 520;
constexpr int kRowHeight = 24;
constexpr int kRowPitch = 30;
constexpr int kControlRows = 4;
constexpr int kClientHeight = kSceneHeight + 6 + kControlRows * kRowPitch;
constexpr int kMargin = 12;
constexpr int kWindowGap = 8;
// A fixed size: the scene is laid out for it.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// 30 frames a second at least, whatever the time scale: the rig publishes every 2 ms while a
// wheel turns, so each frame shows a fresh state.
constexpr UINT kFrameMs = 30;
constexpr UINT_PTR kFrameTimer = 1;
// The live texts (angle, counter, speed) change with every frame while a wheel turns, and text is
// the dearest thing to paint; ten times a second is as often as anyone can read them.
constexpr std::chrono::milliseconds kLiveTextInterval{100};
// Until the program's own window shows, the view looks for it to sit beside it, then stops.
constexpr UINT kPlaceMs = 200;
constexpr int kPlaceTries = 30;
constexpr UINT_PTR kPlaceTimer = 2;
constexpr UINT kRigChanged = WM_APP + 1;
constexpr FaultRole kButtons[] = {FaultRole::OffBus, FaultRole::LoseRest, FaultRole::Switch,
                                  FaultRole::TurnBack, FaultRole::TurnOn};

RECT clientArea() {
  RECT area{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&area, kWindowStyle, FALSE, 0);
  return area;
}

struct ProcessWindowSearch {
  HWND exclude;
  HWND found;
};

BOOL CALLBACK findProgramWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ProcessWindowSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (window != search->exclude && process == GetCurrentProcessId() && IsWindowVisible(window) &&
      GetWindow(window, GW_OWNER) == nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

class RigView {
 public:
  RigView(sim::SnapshotBoard& board, FaultSink inject)
      : board_(board), inject_(std::move(inject)) {}

  bool create();
  HWND window() const { return window_; }

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void createControls();
  HWND addControl(const wchar_t* type, int id, DWORD style, int x, int y, int width);
  void refresh();
  void showState();
  void setText(int id, std::string_view text);
  void showButtonTexts(int node, const sim::NodeSnapshot& state);
  void onCommand(int id);
  void paint();
  void placeBesideProgram();

  sim::SnapshotBoard& board_;
  FaultSink inject_;
  HWND window_ = nullptr;
  ScenePainter painter_;
  HBRUSH background_ = nullptr;
  sim::RigSnapshot shown_;
  Scene scene_;
  std::map<int, std::string> controlTexts_;
  bool animating_ = false;
  std::chrono::steady_clock::time_point liveTextsShownAt_{};
  int placeTries_ = 0;
  LRESULT framesPainted_ = 0;
};

bool RigView::create() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &RigView::windowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kViewClass;
  RegisterClassExW(&windowClass);
  const Scene blank = drawRig({}, 1, 1);
  background_ = CreateSolidBrush(RGB(blank.background.r, blank.background.g, blank.background.b));
  const RECT area = clientArea();
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int width = area.right - area.left;
  CreateWindowExW(0, kViewClass, widen(texts::kTitle).c_str(), kWindowStyle | WS_CLIPCHILDREN,
                  std::max(0, screenWidth - width), 0, width, area.bottom - area.top, nullptr,
                  nullptr, windowClass.hInstance, this);
  if (window_ == nullptr) {
    return false;
  }
  createControls();
  board_.setWatcher([window = window_] { PostMessageW(window, kRigChanged, 0, 0); });
  refresh();
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  SetTimer(window_, kPlaceTimer, kPlaceMs, nullptr);
  return true;
}

HWND RigView::addControl(const wchar_t* type, int id, DWORD style, int x, int y, int width) {
  const HWND control = CreateWindowExW(
      0, type, L"", WS_CHILD | WS_VISIBLE | style, x, y, width, kRowHeight, window_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(painter_.font()), FALSE);
  return control;
}

void RigView::createControls() {
  for (int node = 1; node <= sim::kNodeCount; ++node) {
    const int x = (node - 1) * kClientWidth / 2 + kMargin;
    const int row0 = kSceneHeight + 6;
    const auto id = [node](FaultRole role) { return faultControlId(node, role); };
    addControl(L"BUTTON", id(FaultRole::OffBus), BS_PUSHBUTTON, x, row0, 96);
    addControl(L"BUTTON", id(FaultRole::LoseRest), BS_PUSHBUTTON, x + 102, row0, 150);
    addControl(L"BUTTON", id(FaultRole::Switch), BS_PUSHBUTTON, x, row0 + kRowPitch, 96);
    addControl(L"BUTTON", id(FaultRole::TurnBack), BS_PUSHBUTTON, x + 102, row0 + kRowPitch, 72);
    addControl(L"BUTTON", id(FaultRole::TurnOn), BS_PUSHBUTTON, x + 180, row0 + kRowPitch, 72);
    addControl(L"STATIC", id(FaultRole::Summary), SS_LEFT, x, row0 + 2 * kRowPitch + 4,
               kClientWidth / 2 - 2 * kMargin);
    showButtonTexts(node, {});
  }
  const int row3 = kSceneHeight + 6 + 3 * kRowPitch;
  const HWND list = CreateWindowExW(
      0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, kMargin, row3,
      240, 300, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kExportListId)),
      GetModuleHandleW(nullptr), nullptr);
  SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(painter_.font()), FALSE);
  for (int index = 0; index < sim::kExportCount; ++index) {
    const char* name = sim::exportName(static_cast<sim::ExportId>(index));
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(name).c_str()));
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(kFirstChosenExport), 0);
  addControl(L"BUTTON", kFailNextId, BS_PUSHBUTTON, kMargin + 248, row3, 120);
  setText(kFailNextId, texts::kFailNext);
}

// Only a text that changed reaches the control: asking a control for its text costs a message.
void RigView::setText(int id, std::string_view text) {
  std::string& shown = controlTexts_[id];
  if (shown != text) {
    shown = text;
    SetWindowTextW(GetDlgItem(window_, id), widen(text).c_str());
  }
}

void RigView::showButtonTexts(int node, const sim::NodeSnapshot& state) {
  for (const FaultRole role : kButtons) {
    setText(faultControlId(node, role), faultButtonText(role, state));
  }
}

// Reads the latest state. While a wheel turns a timer asks for each frame; otherwise the view
// sleeps until the rig's next change wakes it.
void RigView::refresh() {
  for (;;) {
    if (!animating_) {
      board_.watchNext();  // before the read, so no change can slip in between
    }
    const sim::RigSnapshot latest = board_.read();
    if (latest.version != shown_.version) {
      shown_ = latest;
      showState();
    }
    if (latest.anyMoving()) {
      if (!animating_) {
        animating_ = SetTimer(window_, kFrameTimer, kFrameMs, nullptr) != 0;
      }
      return;
    }
    if (!animating_) {
      return;
    }
    KillTimer(window_, kFrameTimer);
    animating_ = false;  // and once more, now watching
  }
}

void RigView::showState() {
  for (int node = 1; node <= sim::kNodeCount; ++node) {
    const sim::NodeSnapshot& state = shown_.nodes[static_cast<size_t>(node - 1)];
    showButtonTexts(node, state);
    setText(faultControlId(node, FaultRole::Summary), nodeSummary(node, state));
  }
  // While the wheels turn, only the old and new places of what moves are painted again.
  Scene next = drawRig(shown_, kClientWidth, kSceneHeight);
  const auto now = std::chrono::steady_clock::now();
  if (shown_.anyMoving() && now - liveTextsShownAt_ < kLiveTextInterval &&
      next.backdrop == scene_.backdrop && next.live.labels.size() == scene_.live.labels.size()) {
    next.live.labels = scene_.live.labels;  // the pointers move on; the texts follow shortly
  } else {
    liveTextsShownAt_ = now;
  }
  // Gathered into one region first: each invalidation is a round trip to the window system.
  const auto boxes = changedAreas(scene_, next, kClientWidth, kSceneHeight);
  if (!boxes.empty()) {
    const HRGN changed = CreateRectRgn(0, 0, 0, 0);
    for (const Box& box : boxes) {
      const HRGN part = CreateRectRgn(box.left, box.top, box.right, box.bottom);
      CombineRgn(changed, changed, part, RGN_OR);
      DeleteObject(part);
    }
    InvalidateRgn(window_, changed, FALSE);
    DeleteObject(changed);
  }
  scene_ = std::move(next);
}

void RigView::onCommand(int id) {
  const int chosen =
      id == kFailNextId
          ? static_cast<int>(SendMessageW(GetDlgItem(window_, kExportListId), CB_GETCURSEL, 0, 0))
          : -1;
  if (const auto fault = faultForClick(id, shown_, chosen)) {
    inject_(*fault);
  }
}

void RigView::paint() {
  // The parts to paint, before BeginPaint takes the update region away.
  std::vector<RECT> dirty;
  const HRGN region = CreateRectRgn(0, 0, 0, 0);
  if (GetUpdateRgn(window_, region, FALSE) > NULLREGION) {
    const DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<char> data(size);
    auto* rects = reinterpret_cast<RGNDATA*>(data.data());
    if (size > 0 && GetRegionData(region, size, rects) == size) {
      const RECT* first = reinterpret_cast<const RECT*>(rects->Buffer);
      dirty.assign(first, first + rects->rdh.nCount);
    }
  }
  DeleteObject(region);
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(window_, &ps);
  if (dirty.empty()) {
    dirty.push_back(ps.rcPaint);
  }
  RECT client;
  GetClientRect(window_, &client);
  // The scene, and under the controls the same background (they clip themselves out).
  painter_.paint(dc, client, scene_, dirty);
  EndPaint(window_, &ps);
  ++framesPainted_;
}

void RigView::placeBesideProgram() {
  ProcessWindowSearch search{window_, nullptr};
  EnumWindows(findProgramWindow, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr && ++placeTries_ < kPlaceTries) {
    return;
  }
  KillTimer(window_, kPlaceTimer);
  if (search.found == nullptr) {
    return;
  }
  RECT program;
  RECT own;
  GetWindowRect(search.found, &program);
  GetWindowRect(window_, &own);
  const int width = own.right - own.left;
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int x = program.right + kWindowGap;
  if (x + width > screenWidth) {
    x = program.left - kWindowGap - width >= 0 ? program.left - kWindowGap - width
                                               : screenWidth - width;
  }
  SetWindowPos(window_, nullptr, std::max(0, x), std::max(0L, program.top), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK RigView::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* view = static_cast<RigView*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    view->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
  }
  auto* view = reinterpret_cast<RigView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return view != nullptr ? view->handle(message, wParam, lParam)
                         : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT RigView::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRigChanged:
      refresh();
      return 0;
    case kQueryFramesPainted:
      return framesPainted_;
    case WM_TIMER:
      if (wParam == kFrameTimer) {
        refresh();
      } else if (wParam == kPlaceTimer) {
        placeBesideProgram();
      }
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        onCommand(LOWORD(wParam));
      }
      return 0;
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(background_);
    case WM_ERASEBKGND:
      return 1;  // the painter fills every pixel
    case WM_PAINT:
      paint();
      return 0;
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      board_.setWatcher({});
      KillTimer(window_, kFrameTimer);
      KillTimer(window_, kPlaceTimer);
      DeleteObject(background_);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

struct ViewStart {
  sim::SnapshotBoard* board;
  FaultSink inject;
};

DWORD WINAPI viewThread(void* parameter) {
  const std::unique_ptr<ViewStart> start(static_cast<ViewStart*>(parameter));
  RigView view(*start->board, std::move(start->inject));
  if (!view.create()) {
    return 1;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(view.window(), &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return 0;
}

}  // namespace

void startRigView(sim::SnapshotBoard& board, FaultSink inject) {
  auto* start = new ViewStart{&board, std::move(inject)};
  const HANDLE thread = CreateThread(nullptr, 0, viewThread, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;  // no view; the rig runs on without one
    return;
  }
  CloseHandle(thread);
}

}  // namespace halvane::simview
