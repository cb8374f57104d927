#include <windows.h>

#include "controller/library_loader.h"

namespace halvane {
namespace {

class Win32LibraryLoader final : public LibraryLoader {
 public:
  void* load(const char* fileName) override { return LoadLibraryA(fileName); }
  GenericFn find(void* library, const char* exportName) override {
    return reinterpret_cast<GenericFn>(GetProcAddress(static_cast<HMODULE>(library), exportName));
  }
};

}  // namespace

LibraryLoader& systemLibraryLoader() {
  static Win32LibraryLoader loader;
  return loader;
}

}  // namespace halvane
