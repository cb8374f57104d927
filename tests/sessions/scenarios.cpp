#include "tests/sessions/scenarios.h"

#include "driver/operator_steps.h"
#include "tests/sessions/session_steps.h"

namespace halvane::sessions {
namespace {

using e2e::ProgramSession;

// Motion runs this much faster, so the sessions replay in seconds.
constexpr wchar_t kTimeScale[] = L"10";

std::map<std::wstring, std::wstring> with(std::map<std::wstring, std::wstring> settings) {
  settings.emplace(L"HALVANE_SIM_TIME_SCALE", kTimeScale);
  return settings;
}

}  // namespace

const std::vector<Scenario>& scenarios() {
  static const std::vector<Scenario> all = {
      {"homings-and-slot-moves", with({}),
       [](ProgramSession& s) {
         return e2e::openAndConfigure(s) && command(s, IDC_RESET1) && command(s, IDC_RESET2) &&
                slotMove(s, IDC_POSITION1, 2, IDC_SEND_POSITION1) &&
                slotMove(s, IDC_POSITION2, 4, IDC_SEND_POSITION2) && close(s);
       }},
      {"lost-rest-report", with({{L"HALVANE_SIM_LOSE_REST", L"1@1"}}),
       [](ProgramSession& s) {
         return e2e::openAndConfigure(s) && command(s, IDC_RESET1) &&
                slotMove(s, IDC_POSITION1, 3, IDC_SEND_POSITION1) && close(s);
       }},
      {"node-offline-at-check", with({{L"HALVANE_SIM_OFFLINE", L"2"}}),
       [](ProgramSession& s) {
         s.window().click(IDC_OPEN);
         return s.window().takeMessage(15000).has_value() && close(s);
       }},
      {"failing-setdir", with({{L"HALVANE_SIM_FAIL", L"PCAN_SetDir:2"}}),
       [](ProgramSession& s) {
         if (!e2e::openAndConfigure(s) || !command(s, IDC_RESET2)) {
           return false;
         }
         s.window().selectListRow(IDC_POSITION2, 3);
         return commandWithMessage(s, IDC_SEND_POSITION2, L"SetDir fail!\n") && close(s);
       }},
      {"wheel-without-switch", with({{L"HALVANE_SIM_NO_SWITCH", L"2"}}),
       [](ProgramSession& s) {
         return e2e::openAndConfigure(s) &&
                commandWithMessage(s, IDC_RESET2, L"Failure of home switch!!\n") && close(s);
       }},
      {"changed-microstep-refused-then-homed", with({}),
       [](ProgramSession& s) {
         if (!e2e::openAndConfigure(s)) {
           return false;
         }
         s.window().selectListRow(IDC_MICROSTEP1, 4);  // 16
         s.window().selectListRow(IDC_POSITION1, 2);
         return commandWithMessage(s, IDC_SEND_POSITION1, L"修改细分后转盘需要重新复位！") &&
                command(s, IDC_RESET1) && slotMove(s, IDC_POSITION1, 2, IDC_SEND_POSITION1) &&
                close(s);
       }},
  };
  return all;
}

}  // namespace halvane::sessions
