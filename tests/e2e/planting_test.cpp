// A PUSICANControl.dll lying in the folder the program is started from is never loaded.
#include <gtest/gtest.h>

#include "driver/operator_steps.h"

namespace halvane::e2e {
namespace {

std::wstring plantedLibrary() {
  std::wstring path = widen(HALVANE_E2E_PLANTED);
  for (wchar_t& c : path) {
    c = c == L'/' ? L'\\' : c;
  }
  return L"Z:" + path;
}

bool plantedWasLoaded(const ProgramSession& session) {
  return GetFileAttributesW((session.folder() + L"\\start\\PLANTED-LIBRARY-LOADED").c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

// The installed library is found on the PATH, which the search reaches after the current folder:
// only removing the current folder from the search keeps the planted one out.
TEST(LibraryPlanting, TheInstalledLibraryIsLoadedNotTheOneInTheStartFolder) {
  SessionOptions options;
  options.simulatorOnPath = true;
  options.startFolderFiles = {{plantedLibrary(), L"PUSICANControl.dll"}};
  ProgramSession session(options);
  ASSERT_TRUE(session.started());
  EXPECT_FALSE(plantedWasLoaded(session));
  EXPECT_EQ(session.standardOutput(), "");
  EXPECT_TRUE(openAndConfigure(session)) << "the installed library drives the rig";
}

TEST(LibraryPlanting, BesideTheProgramTheInstalledLibraryWinsToo) {
  SessionOptions options;
  options.startFolderFiles = {{plantedLibrary(), L"PUSICANControl.dll"}};
  ProgramSession session(options);
  ASSERT_TRUE(session.started());
  EXPECT_FALSE(plantedWasLoaded(session));
  EXPECT_FALSE(session.trace().empty());
}

TEST(LibraryPlanting, WithNoInstalledLibraryThePlantedOneIsStillIgnored) {
  SessionOptions options;
  options.withSimulator = false;
  options.startFolderFiles = {{plantedLibrary(), L"PUSICANControl.dll"}};
  ProgramSession session(options);
  ASSERT_TRUE(session.started());
  EXPECT_FALSE(plantedWasLoaded(session));
  EXPECT_EQ(session.standardOutput(),
            "load PUSICANControl.dll FAIL!\r\nload PUSICANControl.dll FAIL!\r\n");
}

}  // namespace
}  // namespace halvane::e2e
