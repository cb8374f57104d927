#include "driver/window_probe.h"

#include <chrono>

#include "driver/wait_until.h"

namespace halvane::e2e {

std::wstring windowText(HWND window) {
  wchar_t buffer[1024] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      5000, nullptr);
  return buffer;
}

std::wstring WindowProbe::text(int id) const {
  return windowText(control(id));
}

std::vector<std::wstring> WindowProbe::listItems(int id) const {
  std::vector<std::wstring> items;
  const HWND list = control(id);
  const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (LRESULT row = 0; row < count; ++row) {
    wchar_t buffer[256] = {};
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, row, 0);
    if (length >= 0 && length < 256) {
      SendMessageW(list, CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(buffer));
    }
    items.emplace_back(buffer);
  }
  return items;
}

int WindowProbe::listSelection(int id) const {
  return static_cast<int>(SendMessageW(control(id), CB_GETCURSEL, 0, 0));
}

int WindowProbe::focusedControlId() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  const DWORD thread = GetWindowThreadProcessId(dialog_, nullptr);
  if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == nullptr ||
      GetParent(info.hwndFocus) != dialog_) {
    return 0;
  }
  return GetDlgCtrlID(info.hwndFocus);
}

bool WindowProbe::responds() const {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

void WindowProbe::click(int id) const {
  responds();
  PostMessageW(control(id), BM_CLICK, 0, 0);
}

bool WindowProbe::clickAndWait(int id) const {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(control(id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) != 0;
}

void WindowProbe::setText(int id, const std::wstring& text) const {
  SendMessageW(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WindowProbe::selectListRow(int id, int row) const {
  SendMessageW(control(id), CB_SETCURSEL, row, 0);
  SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(control(id)));
}

void WindowProbe::pressEscape() const {
  responds();
  PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void WindowProbe::systemCommand(WPARAM command) const {
  responds();
  PostMessageW(dialog_, WM_SYSCOMMAND, command, 0);
}

namespace {

struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK collectWindowOfProcess(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) {
    search->found.push_back(window);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> visibleDialogsOf(DWORD processId) {
  WindowSearch search{processId, {}};
  EnumWindows(collectWindowOfProcess, reinterpret_cast<LPARAM>(&search));
  std::vector<HWND> dialogs;
  for (HWND window : search.found) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) == L"#32770") {
      dialogs.push_back(window);
    }
  }
  return dialogs;
}

std::vector<HWND> WindowProbe::topLevelDialogs() const {
  return visibleDialogsOf(processId_);
}

std::optional<HWND> WindowProbe::messageBox() const {
  for (HWND window : topLevelDialogs()) {
    if (window != dialog_ && GetDlgItem(window, 0xFFFF) != nullptr) {
      return window;
    }
  }
  return std::nullopt;
}

std::wstring WindowProbe::messageBoxText(HWND box) const {
  return windowText(GetDlgItem(box, 0xFFFF));
}

void WindowProbe::dismiss(HWND box) const {
  const HWND ok = GetDlgItem(box, IDOK);
  PostMessageW(ok != nullptr ? ok : box, ok != nullptr ? BM_CLICK : WM_CLOSE, 0, 0);
  waitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); });
}

std::optional<std::wstring> WindowProbe::takeMessage(DWORD timeoutMs) const {
  std::optional<HWND> box;
  if (!waitUntil([&] { return (box = messageBox()).has_value(); },
                 std::chrono::milliseconds(timeoutMs))) {
    return std::nullopt;
  }
  // The text is set before the box is shown; read it once the box answers.
  waitUntil([&] { return !messageBoxText(*box).empty(); }, std::chrono::milliseconds(2000));
  std::wstring text = messageBoxText(*box);
  dismiss(*box);
  return text;
}

std::optional<HWND> WindowProbe::dialogTitled(const std::wstring& title) const {
  for (HWND window : topLevelDialogs()) {
    if (window != dialog_ && windowText(window) == title) {
      return window;
    }
  }
  return std::nullopt;
}

std::vector<std::wstring> WindowProbe::systemMenuItems() const {
  std::vector<std::wstring> items;
  const HMENU menu = GetSystemMenu(dialog_, FALSE);
  const int count = menu != nullptr ? GetMenuItemCount(menu) : 0;
  for (int i = 0; i < count; ++i) {
    wchar_t buffer[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), buffer, 256, MF_BYPOSITION);
    items.emplace_back(buffer);
  }
  return items;
}

bool saveScreenshot(const std::wstring& path) {
  const HDC screen = GetDC(nullptr);
  const int width = GetDeviceCaps(screen, HORZRES);
  const int height = GetDeviceCaps(screen, VERTRES);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
  std::vector<char> pixels(stride * static_cast<DWORD>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
            reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  const HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  WriteFile(out, &file, sizeof(file), &written, nullptr);
  WriteFile(out, &header, sizeof(header), &written, nullptr);
  WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(out);
  return true;
}

}  // namespace halvane::e2e
