#include "ui/win32/main_dialog.h"

#include <iterator>

#include "motion/command_messages.h"
#include "ui/resource_ids.h"
#include "ui/win32/about_dialog.h"
#include "ui/window_chrome.h"

namespace halvane {
namespace {

std::wstring windowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

MainDialog::MainDialog(HINSTANCE instance, LibraryLoader& loader)
    : instance_(instance),
      icon_(LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      link_(loader),
      dlg_(link_),
      channel_(MotionContext{link_, dlg_.table(), alerts_, dlg_.axes()}, replies_) {}

INT_PTR MainDialog::runModal() {
  return DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr, procedure,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainDialog::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<MainDialog*>(lParam)->window_ = window;
  }
  auto* self = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  return self == nullptr ? FALSE : self->handle(message, wParam, lParam);
}

INT_PTR MainDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  // Worker replies come before everything else and then go on to default processing.
  if (isCommandMessage(message)) {
    dlg_.onReply(message, static_cast<int>(lParam));
    return FALSE;
  }
  switch (message) {
    case WM_INITDIALOG:
      onInitDialog();
      return TRUE;  // the first control that takes the focus gets it
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDOK || id == IDCANCEL) {
        EndDialog(window_, id);
        return TRUE;
      }
      // BM_CLICK reaches a disabled button too; the interlock is the enabled state.
      const bool live = IsWindowEnabled(reinterpret_cast<HWND>(lParam)) != FALSE;
      return HIWORD(wParam) == BN_CLICKED && live && dlg_.onButtonClicked(id) ? TRUE : FALSE;
    }
    case WM_TIMER:
      dlg_.onTimer(static_cast<int>(wParam));
      return FALSE;
    case WM_SYSCOMMAND:
      if (isAboutCommand(static_cast<unsigned>(wParam))) {
        CAboutDlg::runModal(instance_, window_);
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      return paintMinimised() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    default:
      return FALSE;
  }
}

void MainDialog::onInitDialog() {
  const std::wstring caption = windowText(window_);
  addAboutItem();
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  setTitleFont();
  controls_.emplace(window_, caption);
  alerts_.attach(window_, caption);
  replies_.attach(window_);
  dlg_.onInitDialog(*controls_, channel_);
}

void MainDialog::addAboutItem() {
  const HMENU menu = GetSystemMenu(window_, FALSE);
  if (menu == nullptr) {
    return;
  }
  wchar_t text[128] = {};
  if (LoadStringW(instance_, IDS_ABOUTBOX, text, static_cast<int>(std::size(text))) <= 0) {
    return;
  }
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text);
}

void MainDialog::setTitleFont() {
  // Never deleted: the banner uses it for the life of the process.
  const HFONT font =
      CreateFontW(45, 18, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS | DEFAULT_PITCH, L"Arial");
  const HWND banner = GetDlgItem(window_, IDC_TITLE);
  SendMessageW(banner, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(banner, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

bool MainDialog::paintMinimised() {
  if (!IsIconic(window_)) {
    return false;
  }
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window_, &paint);
  SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(window_, &client);
  const IconPlace place =
      centredIconPlace(client.right - client.left, client.bottom - client.top,
                       GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
  DrawIcon(dc, place.x, place.y, icon_);
  EndPaint(window_, &paint);
  return true;
}

}  // namespace halvane
