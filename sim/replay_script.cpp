#include "sim/replay_script.h"

#include <algorithm>

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

int64_t bounded(int64_t us, int64_t limit) {
  return std::clamp<int64_t>(us, 0, limit);
}

// Nearest calls are looked for this far either side of where the replay has got to: a divergence
// costs a bounded search however long the recording.
constexpr size_t kNearestWindow = 512;
constexpr size_t kNone = static_cast<size_t>(-1);

}  // namespace

ReplayScript::ReplayScript(const std::vector<trace::Record>& records)
    : cutOff_(!trace::recordsWindowEnd(records)) {
  for (const trace::Record& r : records) {
    if (r.kind == trace::Kind::Call || r.kind == trace::Kind::Callback) {
      steps_.push_back({r});
    }
  }
  // A field trace writes a call's line when it returns, stamped with its start: by time, a call
  // comes before the callbacks it caused.
  std::stable_sort(steps_.begin(), steps_.end(),
                   [](const Step& a, const Step& b) { return a.record.timeUs < b.record.timeUs; });
  timedFrom_.resize(steps_.size());
  trace::WaitReadTracker waits;
  std::map<std::string, size_t> lastStart;
  size_t anchor = kNone;
  for (size_t i = 0; i < steps_.size(); ++i) {
    Step& step = steps_[i];
    const trace::Record& r = step.record;
    if (r.kind == trace::Kind::Call) {
      step.waitRead = waits.isWaitRead(r);
      const std::string node = nodeOf(r.args);
      if (r.name == trace::kMoveStart) {
        lastStart[node] = i;
      }
      if (trace::isEvidenceRead(r.name) && !r.missing) {
        readsOfNode_[{r.name, node}].push_back({r.timeUs, i});
        if (step.waitRead) {
          readsOfWait_[{lastStart[node], r.name}].push_back({r.timeUs, i});
        }
      }
      if (!step.waitRead) {
        unplayed_[r.signature()].push_back(i);
        ++callsLeft_;
      }
    } else if (anchor == kNone) {
      due_.push({r.timeUs, i});
    } else {
      step.delayUs = bounded(r.timeUs - steps_[anchor].record.timeUs, kMaxReplayedDelayUs);
      timedFrom_[anchor].push_back(i);
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
    found = waitRead(name, nodeOf(args), nowUs);
  } else if (const auto calls = unplayed_.find(live.signature());
             calls != unplayed_.end() && !calls->second.empty()) {
    found = calls->second.front();
    calls->second.pop_front();
    --callsLeft_;
    play(*found, nowUs);
    cursor_ = *found + 1;
    if (name == trace::kMoveStart) {
      moveStarts_[nodeOf(args)] = {*found, nowUs};
    }
  }
  if (!found) {
    divergence.call = live.signature();
    if (cutOff_ && callsLeft_ == 0) {
      divergence.pastRecordingEnd = true;
      ++callsPastEnd_;
      return std::nullopt;
    }
    ++divergences_;
    divergence.nearest = nearestCalls(name, args);
    return std::nullopt;
  }
  const trace::Record& recorded = steps_[*found].record;
  ReplayAnswer answer;
  answer.missing = recorded.missing;
  answer.result = recorded.result.value_or(0);
  answer.out = recorded.out;
  answer.tookUs = bounded(recorded.busUs.value_or(recorded.tookUs.value_or(0)), kMaxReplayedCallUs);
  return answer;
}

std::optional<size_t> ReplayScript::nearest(const std::vector<Read>& reads, int64_t recordedUs) {
  const auto after = std::lower_bound(reads.begin(), reads.end(), recordedUs,
                                      [](const Read& read, int64_t t) { return read.timeUs < t; });
  if (after == reads.begin()) {
    return after == reads.end() ? std::nullopt : std::optional<size_t>(after->step);
  }
  const auto before = std::prev(after);
  if (after == reads.end() || recordedUs - before->timeUs <= after->timeUs - recordedUs) {
    return before->step;
  }
  return after->step;
}

std::optional<size_t> ReplayScript::waitRead(const std::string& name, const std::string& node,
                                             int64_t nowUs) const {
  // The reads of the same export in the wait the played start began, at the moment that
  // corresponds to now; where the recording shows none, the node's nearest read of all. Never
  // another wait's reads: a wait that runs longer here than in the lab must not be answered from
  // the next one.
  const auto start = moveStarts_.find(node);
  const auto nodeReads = readsOfNode_.find({name, node});
  if (start == moveStarts_.end()) {
    return nodeReads == readsOfNode_.end() ? std::nullopt : nearest(nodeReads->second, nowUs);
  }
  const int64_t recordedUs =
      steps_[start->second.step].record.timeUs + nowUs - start->second.playedUs;
  if (const auto wait = readsOfWait_.find({start->second.step, name}); wait != readsOfWait_.end()) {
    return nearest(wait->second, recordedUs);
  }
  return nodeReads == readsOfNode_.end() ? std::nullopt : nearest(nodeReads->second, recordedUs);
}

void ReplayScript::play(size_t index, int64_t nowUs) {
  steps_[index].played = true;
  for (const size_t callback : timedFrom_[index]) {
    due_.push({nowUs + steps_[callback].delayUs, callback});
  }
}

std::optional<int64_t> ReplayScript::nextDueUs() const {
  return due_.empty() ? std::nullopt : std::optional<int64_t>(due_.top().first);
}

std::vector<DueCallback> ReplayScript::takeDue(int64_t nowUs) {
  // Taking one may make those timed from it due at once.
  std::vector<size_t> taken;
  while (!due_.empty() && due_.top().first <= nowUs) {
    const size_t index = due_.top().second;
    due_.pop();
    play(index, nowUs);
    taken.push_back(index);
  }
  std::sort(taken.begin(), taken.end());
  std::vector<DueCallback> due;
  for (const size_t index : taken) {
    due.push_back({steps_[index].record.name, steps_[index].record.args});
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
  const size_t from = cursor_ > kNearestWindow ? cursor_ - kNearestWindow : 0;
  for (size_t i = from; i < std::min(steps_.size(), cursor_ + kNearestWindow); ++i) {
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
  return callsLeft_;
}

size_t ReplayScript::unplayedCallbacks() const {
  return static_cast<size_t>(std::count_if(steps_.begin(), steps_.end(), [](const Step& s) {
    return s.record.kind == trace::Kind::Callback && !s.played;
  }));
}

}  // namespace halvane::sim
