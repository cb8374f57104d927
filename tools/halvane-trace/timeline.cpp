#include "tools/halvane-trace/timeline.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <tuple>

#include "tools/halvane-trace/time_axis.h"
#include "trace/trace_writer.h"

namespace halvane::tools {
namespace {

constexpr double kLabelWidth = 110;
constexpr double kAxisHeight = 34;
constexpr double kLaneHeight = 64;
constexpr double kTargetWidth = 1100;
constexpr double kMargin = 16;
constexpr int kOperatorLane = -1;
constexpr double kAxisLabelSpacing = 110;
// Items this close share one mark.
constexpr double kColumnWidth = 4;

// Every colour of the page, once: the drawing and the legend both read it.
enum class Paint {
  Call,
  FailedCall,
  MissingExport,
  MoveRest,
  MoveSwitch,
  MoveReportLost,
  MoveNoReport,
  OnlineReport,
  RestReport,
  OtherReport,
  Online,
  Step,
  Message,
  InFlight,
  Crash,
};

struct PaintEntry {
  const char* colour;
  const char* legend;
};

constexpr PaintEntry kPalette[] = {
    {"#455a64", "call"},
    {"#e53935", "failed call"},
    {"#fb8c00", "missing export"},
    {"#43a047", "move, rest reported"},
    {"#1e88e5", "homing stopped by the switch"},
    {"#f4511e", "move, rest report lost"},
    {"#9e9e9e", "move, no rest report"},
    {"#8e24aa", "online report"},
    {"#2e7d32", "rest report"},
    {"#90a4ae", "other report"},
    {"#a5d6a7", "online"},
    {"#5c6bc0", "operator step"},
    {"#c62828", "message"},
    {"#d81b60", "in flight 1 s"},
    {"#b71c1c", "crash"},
};

const char* colour(Paint paint) {
  return kPalette[static_cast<size_t>(paint)].colour;
}

Paint movePaint(MoveEnd end) {
  switch (end) {
    case MoveEnd::RestReported:
      return Paint::MoveRest;
    case MoveEnd::ExtStop:
      return Paint::MoveSwitch;
    case MoveEnd::ReportLost:
      return Paint::MoveReportLost;
    case MoveEnd::NoReport:
    case MoveEnd::TraceEnds:
      return Paint::MoveNoReport;
  }
  return Paint::MoveNoReport;
}

// Which end a group of moves too close to draw apart is shown with: the one to look into.
int moveEndWeight(MoveEnd end) {
  switch (end) {
    case MoveEnd::ReportLost:
      return 3;
    case MoveEnd::NoReport:
      return 2;
    case MoveEnd::ExtStop:
    case MoveEnd::TraceEnds:
      return 1;
    case MoveEnd::RestReported:
      return 0;
  }
  return 0;
}

std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string num(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

std::string seconds(int64_t us) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f s", static_cast<double>(us) / 1e6);
  std::string text = buffer;  // "2.500 s" reads "2.5 s"
  size_t end = text.size() - 2;
  while (text[end - 1] == '0') {
    --end;
  }
  if (text[end - 1] == '.') {
    --end;
  }
  text.erase(end, text.size() - 2 - end);
  return text;
}

std::string markFields(const trace::Record& r) {
  return trace::formatFields(r.fields);
}

// What one record is drawn as: its paint and lane, and what a mark of several holds.
struct Mark {
  Paint paint = Paint::Call;
  int lane = kBusLane;
  const char* what = "";
};

std::optional<Mark> markOf(const trace::Record& r) {
  switch (r.kind) {
    case trace::Kind::Call:
      return Mark{r.missing                   ? Paint::MissingExport
                  : r.result.value_or(0) != 0 ? Paint::FailedCall
                                              : Paint::Call,
                  nodeOf(r), "calls"};
    case trace::Kind::Callback:
      return Mark{r.name == "OnlineCallback" ? Paint::OnlineReport
                  : isRestReport(r)          ? Paint::RestReport
                                             : Paint::OtherReport,
                  nodeOf(r), "callbacks"};
    case trace::Kind::InFlight:
      return Mark{Paint::InFlight, nodeOf(r), "in-flight lines"};
    case trace::Kind::Operator:
      return Mark{r.name == "message" ? Paint::Message : Paint::Step, kOperatorLane, "steps"};
    case trace::Kind::Crash:
      return Mark{Paint::Crash, kOperatorLane, "crashes"};
    default:
      return std::nullopt;
  }
}

// A record's hover text, made only for the first record of a mark.
std::string titleOf(const trace::Record& r) {
  switch (r.kind) {
    case trace::Kind::Call: {
      std::string title = r.signature() + (r.missing ? " missing (answered 0)"
                                                     : " -> " + std::to_string(*r.result));
      if (r.out) {
        title += ", out " + std::to_string(*r.out);
      }
      return title + ", at " + seconds(r.timeUs) + ", took " + trace::formatMs(callDuration(r)) +
             " ms";
    }
    case trace::Kind::Callback:
      return r.signature() + " at " + seconds(r.timeUs);
    case trace::Kind::InFlight:
      return r.signature() + " still in flight at " + seconds(r.timeUs);
    case trace::Kind::Operator:
      return r.name + markFields(r) + " at " + seconds(r.timeUs);
    default:
      return "crash" + markFields(r) + " at " + seconds(r.timeUs);
  }
}

// The marks of one lane and paint in one pixel column.
struct MarkColumn {
  size_t count = 0;
  int64_t firstUs = 0;
  int64_t lastUs = 0;
  Mark mark;
  std::string firstTitle;
};
using MarkColumns = std::map<std::tuple<int, Paint, long>, MarkColumn>;

std::vector<Interval> relative(const SessionModel& model) {
  std::vector<Interval> busy;
  for (const Interval& i : model.busy) {
    busy.push_back({i.fromUs - model.firstUs, i.toUs - model.firstUs});
  }
  return busy;
}

}  // namespace

// The marks of one pixel column, one per lane and paint: how many, from when to when, and the
// first one's details.
struct TimelinePage::Marks {
  explicit Marks(const SessionModel& model) : axis(relative(model), kTargetWidth) {}
  TimeAxis axis;
  MarkColumns columns;
};

namespace {

class Page {
 public:
  Page(const SessionModel& model, const TimeAxis& axis) : model_(model), axis_(axis) {
    lanes_.push_back(kOperatorLane);
    for (const auto& [node, summary] : model.nodes) {
      lanes_.push_back(node);
    }
  }

  double x(int64_t us) const { return kLabelWidth + kMargin + axis_.x(us - model_.firstUs); }

  std::string svg(const MarkColumns& marks) {
    const double width = kLabelWidth + axis_.width() + 2 * kMargin;
    const double height = kAxisHeight + kLaneHeight * static_cast<double>(lanes_.size()) + 40;
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" +
            num(height) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    lanesAndLabels(height);
    axisLabels();
    folds(height);
    onlineSpans();
    moves();
    for (const auto& [key, column] : marks) {
      draw(std::get<1>(key), column);
    }
    legend(height - 14);
    out_ += "</svg>\n";
    return std::move(out_);
  }

 private:
  double laneTop(int lane) const {
    for (size_t i = 0; i < lanes_.size(); ++i) {
      if (lanes_[i] == lane) {
        return kAxisHeight + kLaneHeight * static_cast<double>(i);
      }
    }
    return kAxisHeight;
  }
  void titled(const std::string& element, const std::string& title) {
    out_ += element + "<title>" + escaped(title) + "</title></" +
            element.substr(1, element.find(' ') - 1) + ">\n";
  }

  void lanesAndLabels(double height) {
    for (size_t i = 0; i < lanes_.size(); ++i) {
      const double top = kAxisHeight + kLaneHeight * static_cast<double>(i);
      const std::string name = lanes_[i] == kOperatorLane ? "operator"
                               : lanes_[i] == kBusLane    ? "bus"
                                                          : "node " + std::to_string(lanes_[i]);
      out_ += "<rect x=\"0\" y=\"" + num(top) + "\" width=\"100%\" height=\"" + num(kLaneHeight) +
              "\" fill=\"" + (i % 2 == 0 ? "#fafafa" : "#f0f0f0") + "\"/>\n";
      out_ += "<text x=\"8\" y=\"" + num(top + kLaneHeight / 2 + 4) + "\" font-weight=\"bold\">" +
              escaped(name) + "</text>\n";
    }
    out_ += "<line x1=\"" + num(kLabelWidth) + "\" y1=\"" + num(kAxisHeight) + "\" x2=\"" +
            num(kLabelWidth) + "\" y2=\"" + num(height - 30) + "\" stroke=\"#bbb\"/>\n";
  }

  // Labels at round times (1, 2 or 5 times a power of ten), about kAxisLabelSpacing apart.
  void axisLabels() {
    const double wanted = kAxisLabelSpacing / axis_.pixelsPerUs();
    int64_t step = 0;
    for (int64_t power = 1000; step == 0; power *= 10) {
      for (const int64_t m : {1, 2, 5}) {
        if (step == 0 && static_cast<double>(power * m) >= wanted) {
          step = power * m;
        }
      }
    }
    for (const Interval& stretch : axis_.shown()) {
      const int64_t from = stretch.fromUs + model_.firstUs;
      const int64_t to = stretch.toUs + model_.firstUs;
      for (int64_t t = (std::max<int64_t>(from, 0) + step - 1) / step * step; t <= to; t += step) {
        const double at = x(t);
        out_ += "<line x1=\"" + num(at) + "\" y1=\"" + num(kAxisHeight - 6) + "\" x2=\"" + num(at) +
                "\" y2=\"" + num(kAxisHeight) + "\" stroke=\"#555\"/>\n";
        out_ += "<text x=\"" + num(at) + "\" y=\"" + num(kAxisHeight - 10) +
                "\" text-anchor=\"middle\">" + seconds(t) + "</text>\n";
      }
    }
  }

  void folds(double height) {
    for (const TimeAxis::Fold& fold : axis_.folds()) {
      const double at = kLabelWidth + kMargin + fold.x;
      titled("<rect x=\"" + num(at + 4) + "\" y=\"" + num(kAxisHeight) + "\" width=\"" +
                 num(kFoldWidth - 8) + "\" height=\"" + num(height - 30 - kAxisHeight) +
                 "\" fill=\"url(#fold)\" stroke=\"#999\" stroke-dasharray=\"3,3\">",
             "idle " + seconds(fold.toUs - fold.fromUs) + " folded");
      out_ += "<text x=\"" + num(at + kFoldWidth / 2) + "\" y=\"" + num(kAxisHeight - 10) +
              "\" text-anchor=\"middle\" fill=\"#777\">…</text>\n";
    }
    out_ +=
        "<defs><pattern id=\"fold\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
        "patternTransform=\"rotate(45)\"><rect width=\"3\" height=\"6\" fill=\"#ddd\"/></pattern>"
        "</defs>\n";
  }

  void onlineSpans() {
    for (const auto& [node, summary] : model_.nodes) {
      bool online = false;
      int64_t since = 0;
      std::optional<std::pair<double, double>> drawn;  // spans closer than a pixel are one
      const auto flush = [&, node = node] {
        if (drawn) {
          titled("<rect x=\"" + num(drawn->first) + "\" y=\"" +
                     num(laneTop(node) + kLaneHeight - 8) + "\" width=\"" +
                     num(std::max(1.0, drawn->second - drawn->first)) + "\" height=\"5\" fill=\"" +
                     colour(Paint::Online) + "\">",
                 "node " + std::to_string(node) + " online");
          drawn.reset();
        }
      };
      const auto close = [&](int64_t until) {
        if (!online) {
          return;
        }
        online = false;
        if (drawn && x(since) > drawn->second + 1) {
          flush();
        }
        drawn = {drawn ? drawn->first : x(since), x(until)};
      };
      for (const OnlineChange& change : summary.onlineChanges) {
        if (change.state == 1 && !online) {
          online = true;
          since = change.timeUs;
        } else if (change.state != 1) {
          close(change.timeUs);
        }
      }
      close(model_.lastUs);
      flush();
    }
  }

  void moveBar(int node, double from, double to, Paint paint, const std::string& title) {
    titled("<rect x=\"" + num(from) + "\" y=\"" + num(laneTop(node) + 26) + "\" width=\"" +
               num(std::max(2.0, to - from)) + "\" height=\"14\" rx=\"3\" fill=\"" + colour(paint) +
               "\" opacity=\"0.85\">",
           title);
  }

  // A bar per move; moves closer than a pixel share one bar, coloured by the end to look into.
  void moves() {
    for (const auto& [node, summary] : model_.nodes) {
      const auto& all = summary.moves;
      for (size_t i = 0; i < all.size();) {
        const auto endOf = [&](size_t k) {
          return all[k].endUs         ? *all[k].endUs
                 : k + 1 < all.size() ? all[k + 1].startUs
                                      : model_.lastUs;
        };
        size_t last = i;
        double right = x(endOf(i));
        while (last + 1 < all.size() &&
               x(all[last + 1].startUs) < std::max(right, x(all[i].startUs) + 2) + 1) {
          ++last;
          right = std::max(right, x(endOf(last)));
        }
        const Move& m = all[i];
        if (last == i) {
          std::string title = std::string(m.homing ? "homing move" : "move") + " of " +
                              std::to_string(m.steps) + " steps from " + seconds(m.startUs) + ": " +
                              std::string(moveEndName(m.end));
          if (m.endUs) {
            title += " after " + seconds(*m.endUs - m.startUs);
          }
          moveBar(node, x(m.startUs), right, movePaint(m.end), title);
        } else {
          std::map<MoveEnd, int> ends;
          MoveEnd shown = MoveEnd::RestReported;
          for (size_t k = i; k <= last; ++k) {
            ++ends[all[k].end];
            shown = moveEndWeight(all[k].end) > moveEndWeight(shown) ? all[k].end : shown;
          }
          std::string title = std::to_string(last - i + 1) + " moves from " + seconds(m.startUs) +
                              " to " + seconds(endOf(last)) + ":";
          for (const auto& [end, count] : ends) {
            title += ' ';
            title += std::to_string(count);
            title += ' ';
            title.append(moveEndName(end)).append(";");
          }
          title.pop_back();
          moveBar(node, x(m.startUs), right, movePaint(shown), title);
        }
        i = last + 1;
      }
    }
  }

  void draw(Paint paint, const MarkColumn& column) {
    const Mark& mark = column.mark;
    const double at = x(column.firstUs);
    const double top = laneTop(mark.lane);
    const std::string title = column.count == 1
                                  ? column.firstTitle
                                  : std::to_string(column.count) + " " + mark.what + " from " +
                                        seconds(column.firstUs) + " to " + seconds(column.lastUs);
    const std::string fill = colour(paint);
    switch (paint) {
      case Paint::Call:
      case Paint::FailedCall:
      case Paint::MissingExport: {
        const bool failed = paint == Paint::FailedCall;
        titled("<line x1=\"" + num(at) + "\" y1=\"" + num(top + 6) + "\" x2=\"" + num(at) +
                   "\" y2=\"" + num(top + 6 + (failed ? 20 : 16)) + "\" stroke=\"" + fill +
                   "\" stroke-width=\"" + (failed ? "3" : "1.5") + "\">",
               title);
        break;
      }
      case Paint::OnlineReport:
      case Paint::RestReport:
      case Paint::OtherReport:
        titled("<circle cx=\"" + num(at) + "\" cy=\"" + num(top + 48) + "\" r=\"3.5\" fill=\"" +
                   fill + "\">",
               title);
        break;
      case Paint::InFlight:
        titled("<path d=\"M" + num(at) + " " + num(top + 4) + " l5 9 l-10 0 z\" fill=\"" + fill +
                   "\">",
               title);
        break;
      case Paint::Step:
      case Paint::Message:
        titled("<rect x=\"" + num(at - 3) + "\" y=\"" + num(top + 20) +
                   "\" width=\"6\" height=\"20\" fill=\"" + fill + "\">",
               title);
        break;
      case Paint::Crash:
        titled("<line x1=\"" + num(at) + "\" y1=\"" + num(kAxisHeight) + "\" x2=\"" + num(at) +
                   "\" y2=\"" +
                   num(kAxisHeight + kLaneHeight * static_cast<double>(lanes_.size())) +
                   "\" stroke=\"" + fill + "\" stroke-width=\"3\">",
               title);
        break;
      default:
        break;
    }
  }

  void legend(double y) {
    double at = 8;
    for (const PaintEntry& item : kPalette) {
      out_ += "<rect x=\"" + num(at) + "\" y=\"" + num(y - 9) +
              "\" width=\"10\" height=\"10\" fill=\"" + item.colour + "\"/><text x=\"" +
              num(at + 14) + "\" y=\"" + num(y) + "\">" + item.legend + "</text>\n";
      at += 24 + 6.2 * static_cast<double>(std::string_view(item.legend).size());
    }
  }

  const SessionModel& model_;
  const TimeAxis& axis_;
  std::vector<int> lanes_;
  std::string out_;
};

}  // namespace

TimelinePage::TimelinePage(const SessionModel& model)
    : model_(model), marks_(std::make_unique<Marks>(model)) {}

TimelinePage::~TimelinePage() = default;

void TimelinePage::add(const trace::Record& record) {
  const std::optional<Mark> mark = markOf(record);
  if (!mark) {
    return;
  }
  const auto column =
      static_cast<long>(marks_->axis.x(record.timeUs - model_.firstUs) / kColumnWidth);
  MarkColumn& c = marks_->columns[{mark->lane, mark->paint, column}];
  if (c.count == 0 || record.timeUs < c.firstUs) {
    c.firstUs = record.timeUs;
    c.mark = *mark;
    c.firstTitle = titleOf(record);
  }
  c.lastUs = c.count == 0 ? record.timeUs : std::max(c.lastUs, record.timeUs);
  ++c.count;
}

std::string TimelinePage::html(const std::string& title) const {
  Page page(model_, marks_->axis);
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escaped(title) +
      "</title>\n<style>body{font-family:sans-serif;margin:16px;color:#222}"
      "div.scroll{overflow-x:auto;border:1px solid #ccc}</style></head><body>\n<h1>" +
      escaped(title) + "</h1>\n<p>From " + seconds(model_.firstUs) + " to " +
      seconds(model_.lastUs) + "; idle gaps over " + seconds(kFoldGapUs) +
      " are folded (hatched). Items closer than a few pixels share one mark, which counts them. "
      "Hover "
      "over an item for its details.</p>\n<div class=\"scroll\">\n";
  html += page.svg(marks_->columns);
  html += "</div>\n</body></html>\n";
  return html;
}

std::string timelineHtml(const SessionModel& model, const std::vector<trace::Record>& records,
                         const std::string& title) {
  TimelinePage page(model);
  for (const trace::Record& r : records) {
    page.add(r);
  }
  return page.html(title);
}

}  // namespace halvane::tools
