#include "examples/polebalance/pole_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "raster/bitmap32.h"
#include "tools/plot/plot.h"

namespace qf::pole {

namespace {

constexpr int32_t kWidth = 800;
constexpr int32_t kLeft = 64, kRight = 16, kBottom = 56;
constexpr int32_t kPerDecade = 8;
constexpr int32_t kUnsolvedWidth = 80;

constexpr TColor32 kBackground = 0xFFFFFFFFu;
constexpr TColor32 kPlotBackground = 0xFFF4F6F8u;
constexpr TColor32 kGrid = 0xFFDDE2E8u;
constexpr TColor32 kAxis = 0xFF5A6470u;
constexpr TColor32 kText = 0xFF1C232Cu;
constexpr TColor32 kBar = 0xFF4A88C8u;
constexpr TColor32 kUnsolved = 0xFF9AA4B0u;
constexpr TColor32 kMedian = 0xFF1C5FA0u;
constexpr TColor32 kMedianInterval = 0xFFDCE6F2u;
constexpr TColor32 kMean = 0xFF1C232Cu;
constexpr TColor32 kPublished = 0xFFD0502Au;

// The mean the original NEAT paper reports, or 0 where it gives none.
double PublishedMean(PoleTask task) {
  switch (task) {
    case PoleTask::DoublePoleVelocities: return 3600;
    case PoleTask::DoublePoleNoVelocities: return 33184;
    case PoleTask::SinglePole: return 0;
  }
  return 0;
}

const char* Title(PoleTask task) {
  switch (task) {
    case PoleTask::SinglePole: return "Single pole";
    case PoleTask::DoublePoleVelocities: return "Double pole with velocities";
    case PoleTask::DoublePoleNoVelocities: return "Double pole without velocities";
  }
  return "";
}

void Text(TBitmap32& b, int32_t x, int32_t y, const std::string& text, TColor32 color) {
  b.RenderText(x, y, text, 2, color);
}

}  // namespace

void DrawEvaluationsPlot(const std::vector<PoleResult>& results, const PoleStatistics& statistics,
                         const PoleOptions& options, const std::string& path) {
  std::vector<double> solved;
  for (const PoleResult& r : results)
    if (r.Solved) solved.push_back(static_cast<double>(r.Evaluations));
  const auto unsolved = static_cast<int32_t>(results.size() - solved.size());
  const double published = PublishedMean(options.Task);
  const double mean = statistics.MeanEvaluationsAllRuns;
  const double median = statistics.MedianEvaluationsAllRuns;

  // Evaluations to solve have a long tail: a logarithmic axis of whole decades, kPerDecade
  // bins each.
  double smallest = std::min(published > 0 ? published : 1e6, mean > 0 ? mean : 1e6);
  double largest = std::max({published, mean, 10.0});
  for (double v : solved) {
    smallest = std::min(smallest, v);
    largest = std::max(largest, v);
  }
  const int32_t firstDecade = static_cast<int32_t>(std::floor(std::log10(std::max(smallest, 1.0))));
  const int32_t lastDecade = std::max(firstDecade + 1, static_cast<int32_t>(std::ceil(std::log10(largest * 1.0001))));
  const int32_t bins = (lastDecade - firstDecade) * kPerDecade;
  auto position = [&](double v) {  // 0 .. 1 along the axis
    return (std::log10(v) - firstDecade) / (lastDecade - firstDecade);
  };
  std::vector<int32_t> counts(static_cast<size_t>(bins), 0);
  for (double v : solved) {
    const auto b = static_cast<int32_t>(position(v) * bins);
    ++counts[static_cast<size_t>(std::clamp(b, 0, bins - 1))];
  }
  int32_t tallest = std::max(1, unsolved);
  for (int32_t c : counts) tallest = std::max(tallest, c);
  const double top = std::max(5.0, NiceCeiling(tallest));

  // A line more above the plot names the settings changed from the task's preset.
  const int32_t plotTop = options.Settings.empty() ? 76 : 94, plotH = 304;
  const int32_t height = plotTop + plotH + kBottom;
  TBitmap32 picture;
  picture.SetSize(kWidth, height);
  picture.Clear(kBackground);
  picture.Font = TFont{"Arial", 11};
  const int32_t plotW = kWidth - kLeft - kRight - kUnsolvedWidth;
  const int32_t unsolvedX = kLeft + plotW + 12;
  picture.FillRect(kLeft, plotTop, kLeft + plotW, plotTop + plotH, kPlotBackground);
  picture.FillRect(unsolvedX, plotTop, unsolvedX + kUnsolvedWidth - 12, plotTop + plotH,
                   kPlotBackground);
  auto px = [&](double evaluations) {
    return kLeft + static_cast<int32_t>(std::lround(position(evaluations) * plotW));
  };
  auto py = [&](double runs) {
    return plotTop + plotH - static_cast<int32_t>(std::lround(runs / top * plotH));
  };
  // The median's interval under everything else; an end beyond the budget runs off the axis.
  const Interval band = statistics.MedianInterval;
  if (!solved.empty() && std::isfinite(band.Low))
    picture.FillRect(px(band.Low), plotTop,
                     std::isfinite(band.High) ? px(band.High) + 1 : kLeft + plotW, plotTop + plotH,
                     kMedianInterval);

  constexpr int32_t kRows = 5;
  for (int32_t i = 0; i <= kRows; ++i) {
    const double v = top * i / kRows;
    const int32_t y = py(v);
    picture.FillRect(kLeft, y, kLeft + plotW, y + 1, kGrid);
    picture.FillRect(unsolvedX, y, unsolvedX + kUnsolvedWidth - 12, y + 1, kGrid);
    const std::string label = AxisLabel(v);
    Text(picture, kLeft - 8 - picture.TextExtent(label).cx, y - 7, label, kText);
  }
  // Every decade is labelled; a 2 or 5 between them only where its label has room.
  struct Tick {
    int32_t Left, Right;
    std::string Label;
  };
  std::vector<Tick> decades, between;
  for (int32_t decade = firstDecade; decade <= lastDecade; ++decade) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double v = m * std::pow(10.0, decade);
      if (decade == lastDecade && m > 1.0) break;
      const int32_t x = px(v);
      picture.FillRect(x, plotTop, x + 1, plotTop + plotH, kGrid);
      std::string label = AxisLabel(v);
      const int32_t w = picture.TextExtent(label).cx;
      // The last label ends at the axis' end, clear of the unsolved column.
      const int32_t left = decade == lastDecade ? x - w : x - w / 2;
      (m == 1.0 ? decades : between).push_back({left, left + w, std::move(label)});
    }
  }
  for (const Tick& t : between) {
    const bool crowded = std::any_of(decades.begin(), decades.end(), [&](const Tick& d) {
      return t.Left < d.Right + 8 && d.Left < t.Right + 8;
    });
    if (!crowded) decades.push_back(t);
  }
  for (const Tick& t : decades) Text(picture, t.Left, plotTop + plotH + 6, t.Label, kText);
  for (int32_t b = 0; b < bins; ++b) {
    const int32_t count = counts[static_cast<size_t>(b)];
    if (count == 0) continue;
    const int32_t x1 = kLeft + b * plotW / bins, x2 = kLeft + (b + 1) * plotW / bins;
    picture.FillRect(x1 + 1, py(count), x2 - 1, plotTop + plotH, kBar);
  }
  if (unsolved > 0)
    picture.FillRect(unsolvedX + 8, py(unsolved), unsolvedX + kUnsolvedWidth - 20, plotTop + plotH,
                     kUnsolved);
  const int32_t columnW = kUnsolvedWidth - 12;
  Text(picture, unsolvedX + (columnW - picture.TextExtent("unsolved").cx) / 2,
       plotTop + plotH + 6, "unsolved", kText);
  if (std::isfinite(median) && median > 0)
    picture.FillRect(px(median) - 1, plotTop, px(median) + 2, plotTop + plotH, kMedian);
  if (mean > 0) {
    for (int32_t y = plotTop; y < plotTop + plotH; y += 4)
      picture.FillRect(px(mean), y, px(mean) + 2, y + 2, kMean);
  }
  if (published > 0) {
    for (int32_t y = plotTop; y < plotTop + plotH; y += 8)
      picture.FillRect(px(published) - 1, y, px(published) + 2, y + 4, kPublished);
  }
  picture.FrameRect(kLeft - 1, plotTop - 1, kLeft + plotW + 1, plotTop + plotH + 1, kAxis);

  char line[300];
  picture.Font = TFont{"Arial", 13};
  std::snprintf(line, sizeof line, "%s: %zu of %zu runs solved within %lld evaluations",
                Title(options.Task), solved.size(), results.size(),
                static_cast<long long>(options.MaxEvaluations));
  Text(picture, kLeft, 14, line, kText);
  picture.Font = TFont{"Arial", 11};
  const int level = static_cast<int>(std::lround(kConfidenceLevel * 100));
  const auto figure = [](double v) {
    return std::isfinite(v) ? std::to_string(std::lround(v)) : std::string("beyond budget");
  };
  std::snprintf(line, sizeof line, "median of all runs %s (%d%% CI %s to %s)",
                figure(median).c_str(), level, figure(band.Low).c_str(),
                figure(band.High).c_str());
  picture.FillRect(kLeft, 38, kLeft + 18, 47, kMedianInterval);
  picture.FillRect(kLeft + 8, 38, kLeft + 11, 47, kMedian);
  Text(picture, kLeft + 24, 34, line, kText);
  if (published > 0) {
    const int32_t x = kLeft + 54 + picture.TextExtent(line).cx;
    std::snprintf(line, sizeof line, "NEAT paper mean %.0f", published);
    for (int32_t dx = 0; dx < 18; dx += 6) picture.FillRect(x + dx, 41, x + dx + 4, 44, kPublished);
    Text(picture, x + 24, 34, line, kText);
  }
  if (unsolved > 0) {
    std::snprintf(line, sizeof line,
                  "mean with unsolved runs counted at the evaluations they used %.0f"
                  " (a lower bound)",
                  mean);
  } else {
    std::snprintf(line, sizeof line, "mean of all runs %.0f", mean);
  }
  for (int32_t dx = 0; dx < 18; dx += 4)
    picture.FillRect(kLeft + dx, 58, kLeft + dx + 2, 61, kMean);
  Text(picture, kLeft + 24, 52, line, kText);
  if (!options.Settings.empty()) {
    std::string changed = "changed from the task's preset:";
    for (const auto& [name, value] : options.Settings) changed += " " + name + "=" + value;
    Text(picture, kLeft, 70, changed, kText);
  }
  Text(picture, kLeft + plotW / 2 - 170, height - 24,
       "evaluations until solved (whole generations, log scale); bars: runs", kText);
  WritePng(picture, path);
}

}  // namespace qf::pole
