#include "tests/soak/fault_plan.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cwchar>

namespace halvane::soak {
namespace {

// Every export a command or the connection uses, but PCAN_ClosePort: a failed close leaves the
// bus open behind a window that shows it closed, and no operator step gets out of that.
constexpr std::array<const wchar_t*, 19> kExports = {L"PCAN_Init",
                                                     L"PCAN_OpenPort",
                                                     L"PCAN_IsSlaveOnline",
                                                     L"PCAN_SetAccel",
                                                     L"PCAN_SetDecel",
                                                     L"PCAN_SetMicroStep",
                                                     L"PCAN_SetStartSpeed",
                                                     L"PCAN_SetStopSpeed",
                                                     L"PCAN_SetMaxSpeed",
                                                     L"PCAN_GetGPIOValue",
                                                     L"PCAN_SetExtStopTrigger",
                                                     L"PCAN_SetExtStopEnable",
                                                     L"PCAN_ClearExtStopFlag",
                                                     L"PCAN_SetWorkMode",
                                                     L"PCAN_StartRelStep",
                                                     L"PCAN_GetControlStatus",
                                                     L"PCAN_SetMotorPos",
                                                     L"PCAN_GetMotorPos",
                                                     L"PCAN_SetDir"};

// Exports without a node argument take no node in a rule.
bool isBusLevel(const std::wstring& name) {
  return name == L"PCAN_Init" || name == L"PCAN_OpenPort";
}

int uniform(std::mt19937& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

void append(std::wstring& list, const std::wstring& rule) {
  list += (list.empty() ? L"" : L",") + rule;
}

}  // namespace

FaultPlan drawFaultPlan(int actions, std::mt19937& random) {
  FaultPlan plan;
  // Calls of one export on one node come a few times per ten actions; spread the Nth over that.
  const int lastCall = std::max(4, actions / 4);
  const int failures = 4 + actions / 250;
  for (int i = 0; i < failures; ++i) {
    const std::wstring name =
        kExports[static_cast<size_t>(uniform(random, 0, kExports.size() - 1))];
    const int busLevelLast = std::max(2, lastCall / 20);  // Open is rare
    const bool ofOpen = isBusLevel(name) || name == L"PCAN_IsSlaveOnline";
    std::wstring rule = name;
    if (!isBusLevel(name)) {
      rule += L":" + std::to_wstring(uniform(random, 1, 2));
    }
    rule += L"@" + std::to_wstring(uniform(random, 1, ofOpen ? busLevelLast : lastCall));
    append(plan.failures, rule);
  }
  // A node's moves and rest reports come about once per eight actions.
  const auto nodeRules = [&](int count) {
    std::wstring list;
    for (int i = 0; i < count; ++i) {
      append(list, std::to_wstring(uniform(random, 1, 2)) + L"@" +
                       std::to_wstring(uniform(random, 1, std::max(2, actions / 8))));
    }
    return list;
  };
  // A read that fails now and then, as a CAN error frame makes it: the wait must keep waiting.
  const wchar_t* const reads[] = {L"PCAN_GetMotorPos", L"PCAN_GetControlStatus"};
  append(plan.failures, std::wstring(reads[uniform(random, 0, 1)]) + L":" +
                            std::to_wstring(uniform(random, 1, 2)) + L"@%" +
                            std::to_wstring(uniform(random, 4, 9)));
  plan.lostRests = nodeRules(2 + actions / 250);
  plan.staleRests = nodeRules(2 + actions / 100);
  plan.statusPeriodMs = uniform(random, 20, 200);
  plan.positionLagMs = uniform(random, 0, 400);
  // The other node's homings still see their wheel turn.
  plan.positionAtRestNode = uniform(random, 1, 2);
  plan.reportDelayMs = uniform(random, 0, 20);
  plan.positionRefreshMs = uniform(random, 0, 400);
  plan.positionWaverNode = uniform(random, 0, 2);
  return plan;
}

bool takeMeasuredLibrary(FaultPlan& plan, std::wstring& problem) {
  for (auto [name, text] : {std::pair{L"HALVANE_SIM_FAIL", &plan.failures},
                            std::pair{L"HALVANE_SIM_LOSE_REST", &plan.lostRests},
                            std::pair{L"HALVANE_SIM_STALE_REST", &plan.staleRests}}) {
    if (const wchar_t* value = _wgetenv(name)) {
      *text = value;
    }
  }
  for (auto [name, number] :
       {std::pair{L"HALVANE_SIM_STATUS_PERIOD_MS", &plan.statusPeriodMs},
        std::pair{L"HALVANE_SIM_POSITION_LAG_MS", &plan.positionLagMs},
        std::pair{L"HALVANE_SIM_POSITION_AT_REST", &plan.positionAtRestNode},
        std::pair{L"HALVANE_SIM_POSITION_REFRESH_MS", &plan.positionRefreshMs},
        std::pair{L"HALVANE_SIM_POSITION_WAVER", &plan.positionWaverNode},
        std::pair{L"HALVANE_SIM_REPORT_DELAY_MS", &plan.reportDelayMs}}) {
    const wchar_t* value = _wgetenv(name);
    if (value == nullptr) {
      continue;
    }
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(value, &end, 10);
    if (*value == L'\0' || *end != L'\0' || parsed < 0) {
      problem = std::wstring(name) + L"=" + value + L": the soak follows one whole number here";
      return false;
    }
    *number = static_cast<int>(parsed);
  }
  return true;
}

}  // namespace halvane::soak
