#include "tools/halvane-trace/trace_diff.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <set>

#include "trace/wait_reads.h"

namespace halvane::tools {
namespace {

// How far past the first difference the two sides are aligned and shown.
constexpr size_t kWindow = 40;
// More nodes than a bus of ours ever has: a trace naming more is compared on its first ones.
constexpr size_t kNodesCompared = 64;

struct Item {
  std::string key;  // what is compared
  size_t line = 0;  // 1-based, in its trace
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

std::string nodeOfCallback(const trace::Record& r) {
  return r.args.empty() ? std::string("-") : r.args.front();
}

// One sequence of one trace: its calls, or the callbacks of one node. Noting on the way the
// nodes whose callbacks the trace holds, when asked to.
class Sequence {
 public:
  Sequence(std::unique_ptr<RecordCursor> cursor, std::optional<std::string> node,
           const DiffOptions& options, std::set<std::string>* nodesSeen)
      : cursor_(std::move(cursor)),
        node_(std::move(node)),
        options_(options),
        nodesSeen_(nodesSeen) {}

  std::optional<Item> next() {
    while (const trace::Record* r = cursor_->next()) {
      ++line_;
      if (r->kind == trace::Kind::Call) {
        // The tracker sees every call, so that it knows where each wait ends.
        const bool waitRead = waits_.isWaitRead(*r);
        if (!node_ && !(waitRead && options_.ignoreWaitReads)) {
          return Item{"call " + callKey(*r), line_};
        }
      } else if (r->kind == trace::Kind::Callback) {
        const std::string node = nodeOfCallback(*r);
        if (nodesSeen_ && nodesSeen_->size() < kNodesCompared) {
          nodesSeen_->insert(node);
        }
        if (node_ && *node_ == node) {
          return Item{"callback " + r->signature(), line_};
        }
      }
    }
    return std::nullopt;
  }

 private:
  std::unique_ptr<RecordCursor> cursor_;
  std::optional<std::string> node_;  // nothing: the calls
  const DiffOptions& options_;
  std::set<std::string>* nodesSeen_;
  trace::WaitReadTracker waits_;
  size_t line_ = 0;
};

std::string lineOf(char mark, const Item& item) {
  return std::string(1, mark) + " " + item.key + "    (line " + std::to_string(item.line) + ")\n";
}

std::string bothOf(const Item& a, const Item& b) {
  return "  " + a.key + "    (lines " + std::to_string(a.line) + ", " + std::to_string(b.line) +
         ")\n";
}

// What is kept of a sequence pair: the last few agreeing items before the first difference, and
// the items of each side from it on, up to the window.
struct FirstDifference {
  std::deque<std::pair<Item, Item>> before;
  std::vector<Item> a;
  std::vector<Item> b;
  size_t start = 0;  // 0-based index of the first difference
  size_t countA = 0;
  size_t countB = 0;
};

// The items of both sides from the first difference, aligned by their longest common
// subsequence, with the context before.
std::string show(const std::string& what, const FirstDifference& d, const DiffOptions& options) {
  const std::vector<Item>& a = d.a;
  const std::vector<Item>& b = d.b;
  const size_t n = a.size();
  const size_t m = b.size();
  std::vector<std::vector<size_t>> common(n + 1, std::vector<size_t>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      common[i][j] = a[i].key == b[j].key ? common[i + 1][j + 1] + 1
                                          : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::string text = what + ": the first difference, at the " + std::to_string(d.start + 1) +
                     ". of " + std::to_string(d.countA) + " and " + std::to_string(d.countB) + "\n";
  for (const auto& [x, y] : d.before) {
    text += bothOf(x, y);
  }
  size_t i = 0;
  size_t j = 0;
  size_t trailing = 0;
  while ((i < n || j < m) && trailing < options.contextLines) {
    if (i < n && j < m && a[i].key == b[j].key) {
      text += bothOf(a[i++], b[j++]);
      ++trailing;
    } else if (j >= m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
      text += lineOf('-', a[i++]);
      trailing = 0;
    } else {
      text += lineOf('+', b[j++]);
      trailing = 0;
    }
  }
  return text;
}

// Reads both sides to their ends, holding no more than the context and the window.
std::optional<FirstDifference> compare(Sequence& a, Sequence& b, const DiffOptions& options,
                                       size_t& pastFirstEnd) {
  FirstDifference d;
  std::optional<Item> x = a.next();
  std::optional<Item> y = b.next();
  while (x && y && x->key == y->key) {
    if (options.contextLines > 0) {
      if (d.before.size() == options.contextLines) {
        d.before.pop_front();
      }
      d.before.emplace_back(std::move(*x), std::move(*y));
    }
    ++d.start;
    x = a.next();
    y = b.next();
  }
  if (!x && y && options.firstCutOff) {
    for (; y; y = b.next()) {
      ++pastFirstEnd;
    }
  }
  if (!x && !y) {
    return std::nullopt;
  }
  const auto rest = [](Sequence& s, std::optional<Item>& first, std::vector<Item>& window) {
    size_t count = 0;
    for (; first; first = s.next(), ++count) {
      if (window.size() < kWindow) {
        window.push_back(std::move(*first));
      }
    }
    return count;
  };
  d.countA = d.start + rest(a, x, d.a);
  d.countB = d.start + rest(b, y, d.b);
  return d;
}

}  // namespace

TraceDiff diffTraces(const TraceOpener& first, const TraceOpener& second,
                     const DiffOptions& options) {
  TraceDiff diff;
  const auto report = [&](const std::string& what, Sequence a, Sequence b) {
    if (const auto d = compare(a, b, options, diff.pastFirstEnd)) {
      diff.same = false;
      diff.report += show(what, *d, options);
    }
  };
  std::set<std::string> nodes;
  report("calls", Sequence(first(), std::nullopt, options, &nodes),
         Sequence(second(), std::nullopt, options, &nodes));
  for (const std::string& node : nodes) {
    report("callbacks of node " + node, Sequence(first(), node, options, nullptr),
           Sequence(second(), node, options, nullptr));
  }
  return diff;
}

TraceDiff diffTraces(const std::vector<trace::Record>& first,
                     const std::vector<trace::Record>& second, const DiffOptions& options) {
  const auto over = [](const std::vector<trace::Record>& records) -> TraceOpener {
    return [&records] { return std::make_unique<VectorCursor>(records); };
  };
  return diffTraces(over(first), over(second), options);
}

}  // namespace halvane::tools
