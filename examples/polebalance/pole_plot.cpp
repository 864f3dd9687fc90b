#include "examples/polebalance/pole_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "raster/bitmap32.h"
#include "tools/plot/plot.h"

namespace qf::pole {

namespace {

constexpr int32_t kWidth = 800, kHeight = 420;
constexpr int32_t kLeft = 64, kRight = 24, kTop = 48, kBottom = 56;
constexpr int32_t kBins = 20;

constexpr TColor32 kBackground = 0xFFFFFFFFu;
constexpr TColor32 kPlotBackground = 0xFFF4F6F8u;
constexpr TColor32 kGrid = 0xFFDDE2E8u;
constexpr TColor32 kAxis = 0xFF5A6470u;
constexpr TColor32 kText = 0xFF1C232Cu;
constexpr TColor32 kBar = 0xFF4A88C8u;
constexpr TColor32 kOurMean = 0xFF1C5FA0u;
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

void DrawEvaluationsPlot(const std::vector<PoleResult>& results, const PoleOptions& options,
                         const std::string& path) {
  std::vector<double> solved;
  for (const PoleResult& r : results)
    if (r.Solved) solved.push_back(static_cast<double>(r.Evaluations));
  const double published = PublishedMean(options.Task);
  double mean = 0;
  for (double v : solved) mean += v;
  if (!solved.empty()) mean /= static_cast<double>(solved.size());

  double right = std::max(published, 1.0);
  for (double v : solved) right = std::max(right, v);
  right = NiceCeiling(right * 1.02);
  const double binWidth = right / kBins;
  std::vector<int32_t> counts(kBins, 0);
  for (double v : solved)
    ++counts[static_cast<size_t>(std::min<int32_t>(kBins - 1, static_cast<int32_t>(v / binWidth)))];
  const int32_t tallest = std::max(1, *std::max_element(counts.begin(), counts.end()));
  const double top = std::max(5.0, NiceCeiling(tallest));

  TBitmap32 picture;
  picture.SetSize(kWidth, kHeight);
  picture.Clear(kBackground);
  picture.Font = TFont{"Arial", 11};
  const int32_t plotW = kWidth - kLeft - kRight;
  const int32_t plotH = kHeight - kTop - kBottom;
  picture.FillRect(kLeft, kTop, kLeft + plotW, kTop + plotH, kPlotBackground);
  auto px = [&](double evaluations) {
    return kLeft + static_cast<int32_t>(std::lround(evaluations / right * plotW));
  };
  auto py = [&](double runs) {
    return kTop + plotH - static_cast<int32_t>(std::lround(runs / top * plotH));
  };

  constexpr int32_t kRows = 5;
  for (int32_t i = 0; i <= kRows; ++i) {
    const double v = top * i / kRows;
    const int32_t y = py(v);
    picture.FillRect(kLeft, y, kLeft + plotW, y + 1, kGrid);
    const std::string label = AxisLabel(v);
    Text(picture, kLeft - 8 - picture.TextExtent(label).cx, y - 7, label, kText);
  }
  for (int32_t i = 0; i <= 5; ++i) {
    const double v = right * i / 5;
    const int32_t x = px(v);
    picture.FillRect(x, kTop, x + 1, kTop + plotH, kGrid);
    const std::string label = AxisLabel(v);
    Text(picture, x - picture.TextExtent(label).cx / 2, kTop + plotH + 6, label, kText);
  }
  for (int32_t b = 0; b < kBins; ++b) {
    if (counts[static_cast<size_t>(b)] == 0) continue;
    picture.FillRect(px(b * binWidth) + 1, py(counts[static_cast<size_t>(b)]),
                     px((b + 1) * binWidth) - 1, kTop + plotH, kBar);
  }
  if (!solved.empty()) picture.FillRect(px(mean) - 1, kTop, px(mean) + 2, kTop + plotH, kOurMean);
  if (published > 0) {
    for (int32_t y = kTop; y < kTop + plotH; y += 8)
      picture.FillRect(px(published) - 1, y, px(published) + 2, y + 4, kPublished);
  }
  picture.FrameRect(kLeft - 1, kTop - 1, kLeft + plotW + 1, kTop + plotH + 1, kAxis);

  char line[160];
  picture.Font = TFont{"Arial", 13};
  std::snprintf(line, sizeof line, "%s: evaluations to solve, %zu of %zu runs solved",
                Title(options.Task), solved.size(), results.size());
  Text(picture, kLeft, 14, line, kText);
  picture.Font = TFont{"Arial", 11};
  std::snprintf(line, sizeof line, "our mean %.0f", mean);
  picture.FillRect(kLeft + plotW - 300, kTop + 14, kLeft + plotW - 282, kTop + 17, kOurMean);
  Text(picture, kLeft + plotW - 276, kTop + 7, line, kText);
  if (published > 0) {
    std::snprintf(line, sizeof line, "NEAT paper %.0f", published);
    picture.FillRect(kLeft + plotW - 150, kTop + 14, kLeft + plotW - 132, kTop + 17, kPublished);
    Text(picture, kLeft + plotW - 126, kTop + 7, line, kText);
  }
  Text(picture, kLeft + plotW / 2 - 150, kHeight - 24,
       "evaluations (whole generations) until solved; bars: runs", kText);
  WritePng(picture, path);
}

}  // namespace qf::pole
