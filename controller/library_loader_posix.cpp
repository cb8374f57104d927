// Off Windows there is no vendor library: the program's binding then behaves as with it absent.
#include "controller/library_loader.h"

namespace halvane {
namespace {

class AbsentLibraryLoader final : public LibraryLoader {
 public:
  void* load(const char*) override { return nullptr; }
  GenericFn find(void*, const char*) override { return nullptr; }
};

}  // namespace

LibraryLoader& systemLibraryLoader() {
  static AbsentLibraryLoader loader;
  return loader;
}

}  // namespace halvane
