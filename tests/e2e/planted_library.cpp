// A foreign PUSICANControl.dll, as someone might leave in a folder the program is started from. If
// it is ever loaded it leaves a mark beside itself and fails every call.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(instance, path, MAX_PATH);
    std::wstring mark = path;
    mark = mark.substr(0, mark.find_last_of(L'\\')) + L"\\PLANTED-LIBRARY-LOADED";
    const HANDLE file = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(file);
  }
  return TRUE;
}

extern "C" __declspec(dllexport) int __stdcall PCAN_Init(int, int, int) {
  return 1;
}
