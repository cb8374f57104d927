#include "tools/halvane-trace/trace_diff.h"

#include <algorithm>
#include <map>

#include "trace/wait_reads.h"

namespace halvane::tools {
namespace {

// How far past the first difference the two sides are aligned and shown.
constexpr size_t kWindow = 40;

struct Item {
  std::string key;  // what is compared
  size_t line = 0;  // 1-based, in its trace
};

struct Streams {
  std::vector<Item> calls;
  // Per node (the first argument): the two nodes' reports come in an order of their own each, but
  // how they interleave depends on when the operator started each move.
  std::map<std::string, std::vector<Item>> callbacks;
};

std::string callKey(const trace::Record& r) {
  std::string key = r.signature();
  if (r.missing) {
    return key + " missing";
  }
  key += " -> " + (r.result ? std::to_string(*r.result) : std::string("?"));
  if (r.out) {
    key += " out=" + std::to_string(*r.out);
  }
  return key;
}

Streams streamsOf(const std::vector<trace::Record>& records, const DiffOptions& options) {
  Streams streams;
  trace::WaitReadTracker waits;
  for (size_t i = 0; i < records.size(); ++i) {
    const trace::Record& r = records[i];
    if (r.kind == trace::Kind::Call) {
      if (waits.isWaitRead(r) && options.ignoreWaitReads) {
        continue;
      }
      streams.calls.push_back({"call " + callKey(r), i + 1});
    } else if (r.kind == trace::Kind::Callback) {
      streams.callbacks[r.args.empty() ? std::string("-") : r.args.front()].push_back(
          {"callback " + r.signature(), i + 1});
    }
  }
  return streams;
}

std::string lineOf(char mark, const Item& item) {
  return std::string(1, mark) + " " + item.key + "    (line " + std::to_string(item.line) + ")\n";
}

std::string bothOf(const Item& a, const Item& b) {
  return "  " + a.key + "    (lines " + std::to_string(a.line) + ", " + std::to_string(b.line) +
         ")\n";
}

// From the first difference, a few items of each side aligned by their longest common
// subsequence, with the context before.
std::string showFirstDifference(const std::string& what, const std::vector<Item>& a,
                                const std::vector<Item>& b, size_t start,
                                const DiffOptions& options) {
  const size_t n = std::min(a.size() - start, kWindow);
  const size_t m = std::min(b.size() - start, kWindow);
  std::vector<std::vector<size_t>> common(n + 1, std::vector<size_t>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      common[i][j] = a[start + i].key == b[start + j].key
                         ? common[i + 1][j + 1] + 1
                         : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::string text = what + ": the first difference, at the " + std::to_string(start + 1) +
                     ". of " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + "\n";
  for (size_t k = start - std::min(start, options.contextLines); k < start; ++k) {
    text += bothOf(a[k], b[k]);
  }
  size_t i = 0;
  size_t j = 0;
  size_t trailing = 0;
  while ((i < n || j < m) && trailing < options.contextLines) {
    if (i < n && j < m && a[start + i].key == b[start + j].key) {
      text += bothOf(a[start + i], b[start + j]);
      ++i;
      ++j;
      ++trailing;
    } else if (j >= m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
      text += lineOf('-', a[start + i++]);
      trailing = 0;
    } else {
      text += lineOf('+', b[start + j++]);
      trailing = 0;
    }
  }
  return text;
}

void compare(const std::string& what, const std::vector<Item>& a, const std::vector<Item>& b,
             const DiffOptions& options, TraceDiff& diff) {
  size_t start = 0;
  while (start < a.size() && start < b.size() && a[start].key == b[start].key) {
    ++start;
  }
  if (start == a.size() && start == b.size()) {
    return;
  }
  diff.same = false;
  diff.report += showFirstDifference(what, a, b, start, options);
}

}  // namespace

TraceDiff diffTraces(const std::vector<trace::Record>& first,
                     const std::vector<trace::Record>& second, const DiffOptions& options) {
  const Streams a = streamsOf(first, options);
  const Streams b = streamsOf(second, options);
  TraceDiff diff;
  compare("calls", a.calls, b.calls, options, diff);
  std::map<std::string, std::vector<Item>> callbacks = a.callbacks;
  callbacks.insert(b.callbacks.begin(), b.callbacks.end());
  for (const auto& [node, unused] : callbacks) {
    const auto of = [&](const Streams& s) {
      const auto it = s.callbacks.find(node);
      return it == s.callbacks.end() ? std::vector<Item>() : it->second;
    };
    compare("callbacks of node " + node, of(a), of(b), options, diff);
  }
  return diff;
}

}  // namespace halvane::tools
