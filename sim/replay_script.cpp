#include "sim/replay_script.h"

#include <algorithm>
#include <cstdlib>

#include "trace/trace_writer.h"

namespace halvane::sim {
namespace {

std::string nodeOf(const std::vector<std::string>& args) {
  return args.empty() ? std::string() : args.front();
}

// The fields of a recorded call that differ from the call made; empty when none does.
std::vector<std::string> differingFields(const trace::Record& recorded, const std::string& name,
                                         const std::vector<std::string>& args) {
  std::vector<std::string> fields;
  if (recorded.name != name) {
    fields.push_back("export");
  }
  if (recorded.args.size() != args.size()) {
    fields.push_back("argument count");
    return fields;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    if (recorded.args[i] != args[i]) {
      fields.push_back(i == 0 ? "argument 1 (node)" : "argument " + std::to_string(i + 1));
    }
  }
  return fields;
}

}  // namespace

ReplayScript::ReplayScript(const std::vector<trace::Record>& records) {
  for (const trace::Record& r : records) {
    if (r.kind == trace::Kind::Call || r.kind == trace::Kind::Callback) {
      Step step;
      step.record = r;
      steps_.push_back(std::move(step));
    }
  }
  // A field trace writes a call's line when it returns, stamped with its start: by time, a call
  // comes before the callbacks it caused.
  std::stable_sort(steps_.begin(), steps_.end(),
                   [](const Step& a, const Step& b) { return a.record.timeUs < b.record.timeUs; });
  trace::WaitReadTracker waits;
  size_t anchor = kNone;
  for (size_t i = 0; i < steps_.size(); ++i) {
    Step& step = steps_[i];
    if (step.record.kind == trace::Kind::Call) {
      step.waitRead = waits.isWaitRead(step.record);
    } else {
      step.anchor = anchor;
      if (anchor == kNone) {
        step.dueUs = step.record.timeUs;
      } else {
        step.delayUs = std::max<int64_t>(0, step.record.timeUs - steps_[anchor].record.timeUs);
      }
    }
    if (!step.waitRead) {
      anchor = i;
    }
  }
}

std::optional<ReplayAnswer> ReplayScript::answer(const std::string& name,
                                                 const std::vector<std::string>& args,
                                                 int64_t nowUs, Divergence& divergence) {
  trace::Record live;
  live.kind = trace::Kind::Call;
  live.name = name;
  live.args = args;
  std::optional<size_t> found;
  if (liveWaits_.isWaitRead(live)) {
    const std::string node = nodeOf(args);
    auto start = std::find_if(moveStarts_.begin(), moveStarts_.end(),
                              [&](const auto& entry) { return entry.first == node; });
    found = start == moveStarts_.end()
                ? nearestWaitRead(node, nowUs)
                : nearestWaitRead(node, steps_[start->second.step].record.timeUs + nowUs -
                                            start->second.playedUs);
  } else {
    for (size_t i = 0; i < steps_.size() && !found; ++i) {
      const Step& step = steps_[i];
      if (step.record.kind == trace::Kind::Call && !step.played && !step.waitRead &&
          step.record.name == name && step.record.args == args) {
        found = i;
      }
    }
    if (found) {
      play(*found, nowUs);
      cursor_ = *found + 1;
      if (name == trace::kMoveStart) {
        const std::string node = nodeOf(args);
        std::erase_if(moveStarts_, [&](const auto& entry) { return entry.first == node; });
        moveStarts_.push_back({node, {*found, nowUs}});
      }
    }
  }
  if (!found) {
    ++divergences_;
    divergence.call = live.signature();
    divergence.nearest = nearestCalls(name, args);
    return std::nullopt;
  }
  const trace::Record& recorded = steps_[*found].record;
  ReplayAnswer answer;
  answer.missing = recorded.missing;
  answer.result = recorded.result.value_or(0);
  answer.out = recorded.out;
  answer.tookUs = recorded.busUs.value_or(recorded.tookUs.value_or(0));
  return answer;
}

std::optional<size_t> ReplayScript::nearestWaitRead(const std::string& node,
                                                    int64_t recordedUs) const {
  // The reads of the wait the recording shows at the moment that corresponds to now; where it
  // shows none, the node's nearest read of all.
  std::optional<size_t> best;
  for (int pass = 0; pass < 2 && !best; ++pass) {
    for (size_t i = 0; i < steps_.size(); ++i) {
      const Step& step = steps_[i];
      if (step.record.kind != trace::Kind::Call || step.record.name != trace::kPositionRead ||
          nodeOf(step.record.args) != node || (pass == 0 && !step.waitRead) ||
          step.record.missing) {
        continue;
      }
      if (!best || std::llabs(step.record.timeUs - recordedUs) <
                       std::llabs(steps_[*best].record.timeUs - recordedUs)) {
        best = i;
      }
    }
  }
  return best;
}

void ReplayScript::play(size_t index, int64_t nowUs) {
  steps_[index].played = true;
  for (size_t i = index + 1; i < steps_.size(); ++i) {
    if (steps_[i].anchor == index) {
      steps_[i].dueUs = nowUs + steps_[i].delayUs;
    }
  }
}

std::optional<int64_t> ReplayScript::nextDueUs() const {
  std::optional<int64_t> next;
  for (const Step& step : steps_) {
    if (step.dueUs && !step.played && (!next || *step.dueUs < *next)) {
      next = step.dueUs;
    }
  }
  return next;
}

std::vector<DueCallback> ReplayScript::takeDue(int64_t nowUs) {
  std::vector<DueCallback> due;
  // A callback's successors come after it, so one pass also takes those due at once.
  for (size_t i = 0; i < steps_.size(); ++i) {
    Step& step = steps_[i];
    if (step.dueUs && !step.played && *step.dueUs <= nowUs) {
      due.push_back({step.record.name, step.record.args});
      play(i, nowUs);
    }
  }
  return due;
}

std::string ReplayScript::nearestCalls(const std::string& name,
                                       const std::vector<std::string>& args) const {
  struct Candidate {
    size_t index;
    std::vector<std::string> fields;
  };
  std::vector<Candidate> candidates;
  for (size_t i = 0; i < steps_.size(); ++i) {
    const Step& step = steps_[i];
    if (step.record.kind == trace::Kind::Call && !step.played && !step.waitRead) {
      candidates.push_back({i, differingFields(step.record, name, args)});
    }
  }
  const auto distance = [&](size_t index) {
    return index >= cursor_ ? index - cursor_ : cursor_ - index;
  };
  std::stable_sort(candidates.begin(), candidates.end(), [&](const auto& a, const auto& b) {
    return a.fields.size() != b.fields.size() ? a.fields.size() < b.fields.size()
                                              : distance(a.index) < distance(b.index);
  });
  if (candidates.empty()) {
    return "no recorded call is left";
  }
  std::string text;
  for (size_t k = 0; k < std::min<size_t>(2, candidates.size()); ++k) {
    const trace::Record& r = steps_[candidates[k].index].record;
    text += k > 0 ? "; " : "";
    text += r.signature() + " at " + trace::formatMs(r.timeUs) + " ms differs in ";
    for (size_t f = 0; f < candidates[k].fields.size(); ++f) {
      text += (f > 0 ? ", " : "") + candidates[k].fields[f];
    }
  }
  return text;
}

size_t ReplayScript::unplayedCalls() const {
  return static_cast<size_t>(std::count_if(steps_.begin(), steps_.end(), [](const Step& s) {
    return s.record.kind == trace::Kind::Call && !s.played && !s.waitRead;
  }));
}

size_t ReplayScript::unplayedCallbacks() const {
  return static_cast<size_t>(std::count_if(steps_.begin(), steps_.end(), [](const Step& s) {
    return s.record.kind == trace::Kind::Callback && !s.played;
  }));
}

}  // namespace halvane::sim
