// The settings in force as one trace line, in the settings' own notation.
#include "sim/sim_config.h"
#include "trace/trace_writer.h"

namespace halvane::sim {
namespace {

// Appends, never "literal" + string: GCC 12 warns falsely (-Wrestrict) about the latter.
void addItem(std::string& list, const std::string& item) {
  if (!list.empty()) {
    list += ',';
  }
  list += item;
}

std::string nodeText(int node) {
  return node == 0 ? std::string("*") : std::to_string(node);
}

std::string nodeList(const std::array<bool, kNodeCount>& nodes) {
  std::string text;
  for (int n = 1; n <= kNodeCount; ++n) {
    if (nodes[static_cast<size_t>(n - 1)]) {
      addItem(text, std::to_string(n));
    }
  }
  return text.empty() ? std::string("-") : text;
}

template <class Rule>
std::string nodeRules(const std::vector<Rule>& rules, CallSelector Rule::*counted) {
  std::string list;
  for (const Rule& rule : rules) {
    std::string item = nodeText(rule.node);
    item += selectorText(rule.*counted);
    addItem(list, item);
  }
  return list.empty() ? std::string("-") : list;
}

long long wholeMs(Duration d) {
  return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

}  // namespace

std::string describeConfig(const SimConfig& config) {
  std::string text = "time_scale=";
  text += trace::numberArg(config.timeScale);
  text += " online_delay_ms=";
  text += std::to_string(wholeMs(config.onlineDelay));
  text += " start_angle=1:";
  text += trace::numberArg(config.startAngleDegrees[0]);
  text += ",2:";
  text += trace::numberArg(config.startAngleDegrees[1]);
  text += " offline=";
  text += nodeList(config.neverOnline);
  text += " no_switch=";
  text += nodeList(config.switchMissing);
  std::string failures;
  for (const FailureRule& rule : config.failures) {
    std::string item = exportName(rule.exportId);
    item += ':';
    item += nodeText(rule.node);
    item += selectorText(rule.calls);
    addItem(failures, item);
  }
  text += " fail=";
  text += failures.empty() ? std::string("-") : failures;
  text += " lose_rest=";
  text += nodeRules(config.lostRests, &LostRestRule::reports);
  text += " stale_rest=";
  text += nodeRules(config.staleRests, &StaleRestRule::moves);
  text += " status_period_ms=";
  text += std::to_string(wholeMs(config.statusPeriod));
  text += " position_lag_ms=";
  text += std::to_string(wholeMs(config.positionLag));
  text += " position_at_rest=";
  text += nodeList(config.positionAtRestOnly);
  text += " position_refresh_ms=";
  text += std::to_string(wholeMs(config.positionRefresh));
  text += " position_waver=";
  text += nodeList(config.positionWavers);
  text += " report_delay_ms=";
  text += config.reportDelay ? std::to_string(wholeMs(*config.reportDelay)) : std::string("-");
  return text;
}

}  // namespace halvane::sim
