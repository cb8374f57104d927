#include "tools/halvane-trace/timeline.h"

#include <cstdio>

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

const char* moveColour(MoveEnd end) {
  switch (end) {
    case MoveEnd::RestReported:
      return "#43a047";
    case MoveEnd::ExtStop:
      return "#1e88e5";
    case MoveEnd::ReportLost:
      return "#fb8c00";
    case MoveEnd::NoReport:
      return "#9e9e9e";
  }
  return "#9e9e9e";
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

std::string fieldsOf(const trace::Record& r) {
  return trace::formatFields(r.fields);
}

class Page {
 public:
  Page(const SessionModel& model, const TimeAxis& axis) : model_(model), axis_(axis) {
    lanes_.push_back(kOperatorLane);
    for (const auto& [node, summary] : model.nodes) {
      lanes_.push_back(node);
    }
  }

  std::string svg() {
    const double width = kLabelWidth + axis_.width() + 2 * kMargin;
    const double height = kAxisHeight + kLaneHeight * static_cast<double>(lanes_.size()) + 40;
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" +
            num(height) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    lanesAndLabels(height);
    axisLabels();
    folds(height);
    onlineSpans();
    moves();
    records();
    legend(height - 14);
    out_ += "</svg>\n";
    return out_;
  }

 private:
  double x(int64_t us) const { return kLabelWidth + kMargin + axis_.x(us - model_.firstUs); }
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
      std::optional<int64_t> since;
      auto close = [&](int64_t until) {
        if (since) {
          titled("<rect x=\"" + num(x(*since)) + "\" y=\"" + num(laneTop(node) + kLaneHeight - 8) +
                     "\" width=\"" + num(std::max(1.0, x(until) - x(*since))) +
                     "\" height=\"5\" fill=\"#a5d6a7\">",
                 "node " + std::to_string(node) + " online from " + seconds(*since) + " to " +
                     seconds(until));
          since.reset();
        }
      };
      for (const auto& [time, state] : summary.onlineChanges) {
        if (state == 1 && !since) {
          since = time;
        } else if (state != 1) {
          close(time);
        }
      }
      close(model_.lastUs);
    }
  }

  void moves() {
    for (const auto& [node, summary] : model_.nodes) {
      for (size_t i = 0; i < summary.moves.size(); ++i) {
        const Move& m = summary.moves[i];
        const int64_t end = m.endUs                        ? *m.endUs
                            : i + 1 < summary.moves.size() ? summary.moves[i + 1].startUs
                                                           : model_.lastUs;
        std::string title = std::string(m.homing ? "homing move" : "move") + " of " +
                            std::to_string(m.steps) + " steps from " + seconds(m.startUs) + ": " +
                            std::string(moveEndName(m.end));
        if (m.endUs) {
          title += " after " + seconds(*m.endUs - m.startUs);
        }
        titled("<rect x=\"" + num(x(m.startUs)) + "\" y=\"" + num(laneTop(node) + 26) +
                   "\" width=\"" + num(std::max(2.0, x(end) - x(m.startUs))) +
                   "\" height=\"14\" rx=\"3\" fill=\"" + moveColour(m.end) + "\" opacity=\"0.85\">",
               title);
      }
    }
  }

  void records() {
    for (const trace::Record& r : model_.records) {
      switch (r.kind) {
        case trace::Kind::Call: {
          const bool failed = !r.missing && r.result.value_or(0) != 0;
          const char* colour = r.missing ? "#fb8c00" : failed ? "#e53935" : "#455a64";
          std::string title = r.signature() + (r.missing ? " missing (answered 0)"
                                                         : " -> " + std::to_string(*r.result));
          if (r.out) {
            title += ", out " + std::to_string(*r.out);
          }
          title +=
              ", at " + seconds(r.timeUs) + ", took " + trace::formatMs(callDuration(r)) + " ms";
          const double top = laneTop(nodeOf(r)) + 6;
          titled("<line x1=\"" + num(x(r.timeUs)) + "\" y1=\"" + num(top) + "\" x2=\"" +
                     num(x(r.timeUs)) + "\" y2=\"" + num(top + (failed ? 20 : 16)) +
                     "\" stroke=\"" + colour + "\" stroke-width=\"" + (failed ? "3" : "1.5") +
                     "\">",
                 title);
          break;
        }
        case trace::Kind::Callback: {
          const bool online = r.name == "OnlineCallback";
          const bool rest = r.name == "StatusCallback" && r.args.size() > 2 &&
                            r.args[2].size() == 7 && r.args[2].substr(4, 2) == "00";
          titled("<circle cx=\"" + num(x(r.timeUs)) + "\" cy=\"" + num(laneTop(nodeOf(r)) + 48) +
                     "\" r=\"3.5\" fill=\"" +
                     (online ? "#8e24aa"
                      : rest ? "#2e7d32"
                             : "#90a4ae") +
                     "\">",
                 r.signature() + " at " + seconds(r.timeUs));
          break;
        }
        case trace::Kind::InFlight:
          titled("<path d=\"M" + num(x(r.timeUs)) + " " + num(laneTop(nodeOf(r)) + 4) +
                     " l5 9 l-10 0 z\" fill=\"#e53935\">",
                 r.signature() + " still in flight at " + seconds(r.timeUs));
          break;
        case trace::Kind::Operator:
          titled("<rect x=\"" + num(x(r.timeUs) - 3) + "\" y=\"" +
                     num(laneTop(kOperatorLane) + 20) + "\" width=\"6\" height=\"20\" fill=\"" +
                     (r.name == "message" ? "#e53935" : "#5c6bc0") + "\">",
                 r.name + fieldsOf(r) + " at " + seconds(r.timeUs));
          break;
        case trace::Kind::Crash:
          titled("<line x1=\"" + num(x(r.timeUs)) + "\" y1=\"" + num(kAxisHeight) + "\" x2=\"" +
                     num(x(r.timeUs)) + "\" y2=\"" +
                     num(kAxisHeight + kLaneHeight * static_cast<double>(lanes_.size())) +
                     "\" stroke=\"#b71c1c\" stroke-width=\"3\">",
                 "crash" + fieldsOf(r) + " at " + seconds(r.timeUs));
          break;
        default:
          break;
      }
    }
  }

  void legend(double y) {
    struct Item {
      const char* colour;
      const char* text;
    };
    const Item items[] = {{"#455a64", "call"},
                          {"#e53935", "failed call / message"},
                          {"#fb8c00", "missing export / rest report lost"},
                          {"#43a047", "move, rest reported"},
                          {"#1e88e5", "homing stopped by the switch"},
                          {"#9e9e9e", "move, no rest report"},
                          {"#8e24aa", "online report"},
                          {"#2e7d32", "rest report"},
                          {"#a5d6a7", "online"}};
    double at = 8;
    for (const Item& item : items) {
      out_ += "<rect x=\"" + num(at) + "\" y=\"" + num(y - 9) +
              "\" width=\"10\" height=\"10\" fill=\"" + item.colour + "\"/><text x=\"" +
              num(at + 14) + "\" y=\"" + num(y) + "\">" + item.text + "</text>\n";
      at += 24 + 6.2 * static_cast<double>(std::string_view(item.text).size());
    }
  }

  const SessionModel& model_;
  const TimeAxis& axis_;
  std::vector<int> lanes_;
  std::string out_;
};

std::vector<Interval> busyTimes(const SessionModel& model) {
  std::vector<Interval> busy;
  constexpr int64_t kPad = 100'000;
  for (const trace::Record& r : model.records) {
    const int64_t t = r.timeUs - model.firstUs;
    busy.push_back({t - kPad, t + (r.kind == trace::Kind::Call ? callDuration(r) : 0) + kPad});
  }
  for (const auto& [node, summary] : model.nodes) {
    for (const Move& m : summary.moves) {
      if (m.endUs) {
        busy.push_back({m.startUs - model.firstUs, *m.endUs - model.firstUs});
      }
    }
  }
  return busy;
}

}  // namespace

std::string timelineHtml(const SessionModel& model, const std::string& title) {
  const TimeAxis axis(busyTimes(model), kTargetWidth);
  Page page(model, axis);
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escaped(title) +
      "</title>\n<style>body{font-family:sans-serif;margin:16px;color:#222}"
      "div.scroll{overflow-x:auto;border:1px solid #ccc}</style></head><body>\n<h1>" +
      escaped(title) + "</h1>\n<p>From " + seconds(model.firstUs) + " to " + seconds(model.lastUs) +
      "; idle gaps over " + seconds(kFoldGapUs) +
      " are folded (hatched). Hover over an item for its details.</p>\n<div class=\"scroll\">\n";
  html += page.svg();
  html += "</div>\n</body></html>\n";
  return html;
}

}  // namespace halvane::tools
