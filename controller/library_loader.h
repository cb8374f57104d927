// The seam through which the vendor library is found: LoadLibrary/GetProcAddress on Windows,
// a scripted fake in the unit tests.
#pragma once

namespace halvane {

// Any function pointer; the caller casts it to the export's own type.
using GenericFn = void (*)();

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // Returns an opaque handle, or nullptr when the library cannot be loaded.
  virtual void* load(const char* fileName) = 0;
  // Looks an export up by name; nullptr when the library lacks it.
  virtual GenericFn find(void* library, const char* exportName) = 0;
};

// The platform's loader: Win32 on Windows; on other systems one that never finds the library.
LibraryLoader& systemLibraryLoader();

}  // namespace halvane
