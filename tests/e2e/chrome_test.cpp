// The window's chrome and its ways out: the About box, Esc, the close box.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/program_session.h"
#include "driver/wait_until.h"
#include "ui/resource_ids.h"

namespace halvane::e2e {
namespace {

constexpr wchar_t kAboutTitle[] = L"关于 Halvane";

std::optional<HWND> waitForAbout(ProgramSession& session) {
  std::optional<HWND> about;
  waitUntil([&] { return (about = session.window().dialogTitled(kAboutTitle)).has_value(); });
  return about;
}

TEST(Chrome, EverySystemCommandFromSixteenToThirtyOneOpensTheAboutBox) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  for (WPARAM command : {16u, 23u, 31u}) {
    session.window().systemCommand(command);
    const auto about = waitForAbout(session);
    ASSERT_TRUE(about.has_value()) << command;
    // While it is open the main window takes no input.
    EXPECT_FALSE(IsWindowEnabled(session.window().handle())) << command;
    PostMessageW(GetDlgItem(*about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(*about); })) << command;
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(session.window().handle()) != FALSE; }));
  }
}

TEST(Chrome, TheAboutBoxNamesTheProgramAndItsVersion) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  session.window().systemCommand(IDM_ABOUTBOX);
  const auto about = waitForAbout(session);
  ASSERT_TRUE(about.has_value());
  bool foundVersion = false;
  for (HWND child = GetWindow(*about, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    foundVersion = foundVersion || windowText(child) == L"Halvane，版本 1.0";
  }
  EXPECT_TRUE(foundVersion);
  EXPECT_EQ(windowText(GetDlgItem(*about, IDOK)), L"确定");
  PostMessageW(*about, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // Esc
  EXPECT_TRUE(waitUntil([&] { return !IsWindow(*about); }));
  EXPECT_FALSE(session.hasExited(0));
}

TEST(Chrome, OtherSystemCommandsDoNotOpenIt) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  // Sent, not posted: once it returns the command has been handled, and a window that hangs in
  // it (or opens a box) fails here.
  DWORD_PTR result = 0;
  EXPECT_NE(SendMessageTimeoutW(session.window().handle(), WM_SYSCOMMAND, 32, 0, SMTO_ABORTIFHUNG,
                                5000, &result),
            0);
  EXPECT_FALSE(session.window().dialogTitled(kAboutTitle).has_value());
}

TEST(Chrome, EscapeEndsTheProgram) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  EXPECT_TRUE(session.closeByEscape());
}

TEST(Chrome, TheCloseBoxEndsTheProgram) {
  ProgramSession session;
  ASSERT_TRUE(session.started());
  session.window().systemCommand(SC_CLOSE);
  EXPECT_TRUE(session.hasExited(10000));
}

}  // namespace
}  // namespace halvane::e2e
