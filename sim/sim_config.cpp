#include "sim/sim_config.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace halvane::sim {
namespace {

constexpr double kMaxTimeScale = 1000.0;
constexpr int64_t kMaxOnlineDelayMs = 600000;
constexpr std::string_view kPrefix = "HALVANE_SIM_";
constexpr int64_t kMaxPeriodMs = 60000;
std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> splitList(std::string_view text) {
  std::vector<std::string_view> items;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const size_t end = comma == std::string_view::npos ? text.size() : comma;
    const std::string_view item = trim(text.substr(start, end - start));
    if (!item.empty()) {
      items.push_back(item);
    }
    if (comma == std::string_view::npos) {
      break;
    }
    start = comma + 1;
  }
  return items;
}

std::optional<int64_t> parseInteger(std::string_view text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> parseNumber(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// "1" or "2"; with allowAny also "*" (returned as 0).
std::optional<int> parseNode(std::string_view text, bool allowAny) {
  if (allowAny && text == "*") {
    return 0;
  }
  const auto node = parseInteger(text);
  if (!node || *node < 1 || *node > kNodeCount) {
    return std::nullopt;
  }
  return static_cast<int>(*node);
}

// "N" (only the Nth), "N+" (the Nth and later) or "%N" (every Nth), N >= 1.
std::optional<CallSelector> parseSelector(std::string_view text) {
  CallSelector selector;
  if (!text.empty() && text.front() == '%') {
    const auto every = parseInteger(text.substr(1));
    if (!every || *every < 1) {
      return std::nullopt;
    }
    selector.every = *every;
    return selector;
  }
  selector.onlyFirst = true;
  if (!text.empty() && text.back() == '+') {
    selector.onlyFirst = false;
    text.remove_suffix(1);
  }
  const auto count = parseInteger(text);
  if (!count || *count < 1) {
    return std::nullopt;
  }
  selector.first = *count;
  return selector;
}

// Splits "<head>[@<N>[+]]": the head, and the selector (all calls when there is no @). Nothing when
// the part after @ is malformed.
std::optional<std::pair<std::string_view, CallSelector>> splitSelector(std::string_view item) {
  const size_t at = item.find('@');
  if (at == std::string_view::npos) {
    return std::pair{item, CallSelector{}};
  }
  const auto selector = parseSelector(trim(item.substr(at + 1)));
  if (!selector) {
    return std::nullopt;
  }
  return std::pair{trim(item.substr(0, at)), *selector};
}

class Parser {
 public:
  explicit Parser(const Environment& environment) : environment_(environment) {}

  ParsedConfig run() {
    reportUnknownVariables();
    readTimeScale();
    readOnlineDelay();
    readNodeSet(kVarOffline, result_.config.neverOnline);
    readNodeSet(kVarNoSwitch, result_.config.switchMissing);
    readStartAngles();
    readFailures();
    readNodeRules(kVarLoseRest, "report", result_.config.lostRests, &LostRestRule::reports);
    readNodeRules(kVarStaleRest, "move", result_.config.staleRests, &StaleRestRule::moves);
    readMilliseconds(kVarStatusPeriod, kMaxPeriodMs, result_.config.statusPeriod);
    readMilliseconds(kVarPositionLag, kMaxPeriodMs, result_.config.positionLag);
    readNodeSet(kVarPositionAtRest, result_.config.positionAtRestOnly);
    readMilliseconds(kVarPositionRefresh, kMaxPeriodMs, result_.config.positionRefresh);
    readNodeSet(kVarPositionWaver, result_.config.positionWavers);
    result_.config.reportDelay =
        milliseconds(kVarReportDelay, kMaxPeriodMs, "reports are made inside the calls");
    readView();
    if (auto trace = environment_.get(kVarTrace)) {
      result_.config.tracePath = std::string(trim(*trace));
    }
    if (auto replay = environment_.get(kVarReplay)) {
      result_.config.replayPath = std::string(trim(*replay));
    }
    return std::move(result_);
  }

 private:
  void problem(const char* variable, std::string_view value, std::string reason) {
    result_.problems.push_back({variable, std::string(value), std::move(reason)});
  }

  // Empty counts as unset.
  std::optional<std::string> value(const char* variable) {
    auto text = environment_.get(variable);
    if (!text || trim(*text).empty()) {
      return std::nullopt;
    }
    return std::string(trim(*text));
  }

  void reportUnknownVariables() {
    for (const std::string& name : environment_.names()) {
      if (name.compare(0, kPrefix.size(), kPrefix) != 0) {
        continue;
      }
      bool known = false;
      for (const char* candidate : kSettingNames) {
        known = known || name == candidate;
      }
      if (!known) {
        problem(name.c_str(), environment_.get(name.c_str()).value_or(""),
                "unknown variable, ignored");
      }
    }
  }

  void readView() {
    const auto text = value(kVarView);
    if (text && *text != "0" && *text != "1") {
      problem(kVarView, *text, "not 0 or 1; 1 is used");
    }
    result_.config.view = !text || *text != "0";
  }

  void readTimeScale() {
    const auto text = value(kVarTimeScale);
    if (!text) {
      return;
    }
    const auto scale = parseNumber(*text);
    if (!scale || *scale <= 0 || *scale > kMaxTimeScale) {
      problem(kVarTimeScale, *text, "not a number above 0 and at most 1000; 1 is used");
      return;
    }
    result_.config.timeScale = *scale;
  }

  void readOnlineDelay() {
    readMilliseconds(kVarOnlineDelay, kMaxOnlineDelayMs, result_.config.onlineDelay);
  }

  void readMilliseconds(const char* variable, int64_t most, Duration& into) {
    const auto used = std::chrono::duration_cast<std::chrono::milliseconds>(into).count();
    if (const auto ms = milliseconds(variable, most, std::to_string(used) + " is used")) {
      into = *ms;
    }
  }

  // Unset or malformed: none.
  std::optional<Duration> milliseconds(const char* variable, int64_t most,
                                       const std::string& otherwise) {
    const auto text = value(variable);
    if (!text) {
      return std::nullopt;
    }
    const auto ms = parseInteger(*text);
    if (!ms || *ms < 0 || *ms > most) {
      problem(variable, *text,
              "not whole milliseconds from 0 to " + std::to_string(most) + "; " + otherwise);
      return std::nullopt;
    }
    return std::chrono::milliseconds(*ms);
  }

  void readNodeSet(const char* variable, std::array<bool, kNodeCount>& nodes) {
    const auto text = value(variable);
    if (!text) {
      return;
    }
    for (std::string_view item : splitList(*text)) {
      const auto node = parseNode(item, true);
      if (!node) {
        problem(variable, item, "not a node (1, 2 or *), ignored");
        continue;
      }
      for (int n = 1; n <= kNodeCount; ++n) {
        if (*node == 0 || *node == n) {
          nodes[static_cast<size_t>(n - 1)] = true;
        }
      }
    }
  }

  void readStartAngles() {
    const auto text = value(kVarStartAngle);
    if (!text) {
      return;
    }
    for (std::string_view item : splitList(*text)) {
      const size_t colon = item.find(':');
      const auto node = colon == std::string_view::npos
                            ? std::nullopt
                            : parseNode(trim(item.substr(0, colon)), false);
      const auto degrees = colon == std::string_view::npos
                               ? std::nullopt
                               : parseNumber(trim(item.substr(colon + 1)));
      if (!node || !degrees) {
        problem(kVarStartAngle, item, "not <node>:<degrees>, ignored");
        continue;
      }
      result_.config.startAngleDegrees[static_cast<size_t>(*node - 1)] = *degrees;
    }
  }

  // <Export>[:<node>][@<N>[+]]
  void readFailures() {
    const auto text = value(kVarFail);
    if (!text) {
      return;
    }
    for (std::string_view item : splitList(*text)) {
      const auto split = splitSelector(item);
      if (!split) {
        problem(kVarFail, item, "the call count after @ is not N, N+ or %N (N from 1), ignored");
        continue;
      }
      FailureRule rule;
      auto [rest, calls] = *split;
      rule.calls = calls;
      if (const size_t colon = rest.find(':'); colon != std::string_view::npos) {
        const auto node = parseNode(trim(rest.substr(colon + 1)), true);
        if (!node) {
          problem(kVarFail, item, "the node after : is not 1, 2 or *, ignored");
          continue;
        }
        rule.node = *node;
        rest = trim(rest.substr(0, colon));
      }
      const auto id = exportByName(rest);
      if (!id) {
        problem(kVarFail, item, "not one of the library's exports, ignored");
        continue;
      }
      if (rule.node != 0 && !takesNode(*id)) {
        problem(kVarFail, item, "this export takes no node, ignored");
        continue;
      }
      rule.exportId = *id;
      result_.config.failures.push_back(rule);
    }
  }

  // <node>[@<N>[+]], counting the node's reports or moves (`what`).
  template <class Rule>
  void readNodeRules(const char* variable, const char* what, std::vector<Rule>& rules,
                     CallSelector Rule::*counted) {
    const auto text = value(variable);
    if (!text) {
      return;
    }
    for (std::string_view item : splitList(*text)) {
      const auto split = splitSelector(item);
      if (!split) {
        problem(
            variable, item,
            std::string("the ") + what + " count after @ is not N, N+ or %N (N from 1), ignored");
        continue;
      }
      const auto [nodeText, selector] = *split;
      const auto node = parseNode(nodeText, true);
      if (!node) {
        problem(variable, item, "not a node (1, 2 or *), ignored");
        continue;
      }
      Rule rule;
      rule.node = *node;
      rule.*counted = selector;
      rules.push_back(rule);
    }
  }

  const Environment& environment_;
  ParsedConfig result_;
};

}  // namespace

ParsedConfig parseConfig(const Environment& environment) {
  return Parser(environment).run();
}

}  // namespace halvane::sim
