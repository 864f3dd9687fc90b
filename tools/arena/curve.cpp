#include "tools/arena/curve.h"

#include <algorithm>
#include <cmath>

#include "game/drawing.h"

namespace qf::arena {

namespace {

constexpr TColor32 kBackground = 0xFF12161Cu;
constexpr TColor32 kPlotBackground = 0xFF1A2028u;
constexpr TColor32 kGrid = 0xFF2C3440u;
constexpr TColor32 kAxis = 0xFF8894A4u;
constexpr TColor32 kText = 0xFFE0E6EEu;
constexpr TColor32 kMeanColor = 0xFF4AA8FFu;
constexpr TColor32 kBestColor = 0xFFFFA840u;
constexpr TColor32 kNewGameColor = 0x80A0A0A0u;

constexpr int32_t kLeft = 70, kRight = 24, kTop = 44, kBottom = 54;

void Text(TBitmap32& b, int32_t x, int32_t y, const std::string& text, TColor32 color) {
  b.RenderText(x, y, text, 2, color);
}

constexpr int32_t kPlotWidth = kCurveWidth - kLeft - kRight;
constexpr int32_t kPlotHeight = kCurveHeight - kTop - kBottom;

// The background, the plot's area and the labels' font.
void StartChart(TBitmap32& picture) {
  picture.SetSize(kCurveWidth, kCurveHeight);
  picture.Clear(kBackground);
  picture.Font = TFont{"Arial", 11};
  picture.FillRect(kLeft, kTop, kLeft + kPlotWidth, kTop + kPlotHeight, kPlotBackground);
}

}  // namespace

void DrawChart(TBitmap32& picture, const Chart& chart) {
  StartChart(picture);
  const int32_t plotW = kPlotWidth, plotH = kPlotHeight;

  double first = 1e300, last = -1e300, top = 0;
  for (const ChartSeries& series : chart.Series) {
    for (const ChartPoint& p : series.Points) {
      first = std::min(first, p.X);
      last = std::max(last, p.X);
      top = std::max(top, p.Mean + p.Error);
    }
  }
  if (first > last) first = last = 1;
  if (last - first < 1) last = first + 1;
  // Rows a round step apart, as few as cover the highest error bar with room above it for
  // the legend.
  top *= 1.12;
  const double rowStep = NiceCeiling(top / 5);
  const int rows = std::max(1, static_cast<int>(std::ceil(top / rowStep - 1e-9)));
  top = rows * rowStep;
  auto px = [&](double x) { return kLeft + 8 + (x - first) / (last - first) * (plotW - 17); };
  auto py = [&](double v) { return kTop + plotH - 1 - v / top * (plotH - 1); };

  for (int i = 0; i <= rows; ++i) {
    const double v = rowStep * i;
    const auto y = static_cast<int32_t>(std::lround(py(v)));
    picture.FillRect(kLeft, y, kLeft + plotW, y + 1, kGrid);
    const std::string label = AxisLabel(v);
    Text(picture, kLeft - 8 - picture.TextExtent(label).cx, y - 7, label, kText);
  }
  const double step = std::max(1.0, NiceCeiling((last - first) / 10.0));
  for (double x = std::ceil(first / step) * step; x <= last; x += step) {
    const auto at = static_cast<int32_t>(std::lround(px(x)));
    picture.FillRect(at, kTop, at + 1, kTop + plotH, kGrid);
    const std::string label = AxisLabel(x);
    Text(picture, at - picture.TextExtent(label).cx / 2, kTop + plotH + 6, label, kText);
  }

  // Error bars side by side: each series a little to the right of the one before.
  const double spread = chart.Series.size() > 1 ? 3.0 : 0.0;
  for (size_t k = 0; k < chart.Series.size(); ++k) {
    const ChartSeries& series = chart.Series[k];
    const double dx = (static_cast<double>(k) - (chart.Series.size() - 1) / 2.0) * spread;
    for (size_t i = 0; i < series.Points.size(); ++i) {
      const ChartPoint& p = series.Points[i];
      const auto x = static_cast<int32_t>(std::lround(px(p.X) + dx));
      const auto low = static_cast<int32_t>(std::lround(py(std::max(0.0, p.Mean - p.Error))));
      const auto high = static_cast<int32_t>(std::lround(py(p.Mean + p.Error)));
      if (p.Error > 0) {
        picture.FillRect(x, high, x + 1, low + 1, series.Color);
        picture.FillRect(x - 3, high, x + 4, high + 1, series.Color);
        picture.FillRect(x - 3, low, x + 4, low + 1, series.Color);
      }
      const auto y = static_cast<int32_t>(std::lround(py(p.Mean)));
      picture.FillRect(x - 2, y - 2, x + 3, y + 3, series.Color);
      if (i == 0) continue;
      const ChartPoint& q = series.Points[i - 1];
      for (double dy : {0.0, 0.7})
        DrawLine(picture, px(q.X) + dx, py(q.Mean) + dy, px(p.X) + dx, py(p.Mean) + dy, series.Color);
    }
  }
  picture.FrameRect(kLeft - 1, kTop - 1, kLeft + plotW + 1, kTop + plotH + 1, kAxis);

  picture.Font = TFont{"Arial", 13};
  Text(picture, kLeft, 12, chart.Title, kText);
  picture.Font = TFont{"Arial", 11};
  int32_t legendX = kLeft + 10;
  for (const ChartSeries& series : chart.Series) {
    const int32_t width = 30 + picture.TextExtent(series.Name).cx + 14;
    picture.FillRect(legendX, kTop + 6, legendX + width, kTop + 28, kBackground);
    picture.FillRect(legendX + 8, kTop + 16, legendX + 26, kTop + 19, series.Color);
    Text(picture, legendX + 30, kTop + 9, series.Name, kText);
    legendX += width + 6;
  }
  Text(picture, kLeft + plotW / 2 - picture.TextExtent(chart.XLabel).cx / 2, kCurveHeight - 22,
       chart.XLabel, kText);
}

void DrawLearningCurve(TBitmap32& picture, const std::vector<GenerationRecord>& records,
                       const std::string& title) {
  StartChart(picture);
  const int32_t plotW = kPlotWidth, plotH = kPlotHeight;

  double top = 0;
  for (const GenerationRecord& r : records) top = std::max(top, r.BestFitness);
  top = NiceCeiling(top);
  const int32_t last = std::max<int32_t>(2, static_cast<int32_t>(records.size()));
  auto px = [&](double generation) { return kLeft + (generation - 1) / (last - 1) * (plotW - 1); };
  auto py = [&](double fitness) { return kTop + plotH - 1 - fitness / top * (plotH - 1); };

  constexpr int kRows = 5;
  for (int i = 0; i <= kRows; ++i) {
    const double v = top * i / kRows;
    const auto y = static_cast<int32_t>(std::lround(py(v)));
    picture.FillRect(kLeft, y, kLeft + plotW, y + 1, kGrid);
    const std::string label = AxisLabel(v);
    Text(picture, kLeft - 8 - picture.TextExtent(label).cx, y - 7, label, kText);
  }
  const auto step = std::max<int32_t>(1, static_cast<int32_t>(NiceCeiling(last / 10.0)));
  for (int32_t g = step; g <= last; g += step) {
    const auto x = static_cast<int32_t>(std::lround(px(g)));
    picture.FillRect(x, kTop, x + 1, kTop + plotH, kGrid);
    const std::string label = std::to_string(g);
    Text(picture, x - picture.TextExtent(label).cx / 2, kTop + plotH + 6, label, kText);
  }
  for (size_t i = 1; i < records.size(); ++i) {
    if (records[i].Game == records[i - 1].Game) continue;
    const auto x = static_cast<int32_t>(std::lround(px(records[i].Index)));
    for (int32_t y = kTop; y < kTop + plotH; y += 6) picture.FillRect(x, y, x + 1, y + 3, kNewGameColor);
  }

  for (size_t i = 1; i < records.size(); ++i) {
    const GenerationRecord& a = records[i - 1];
    const GenerationRecord& b = records[i];
    for (double dy : {0.0, 0.7}) {  // two passes: a line bold enough to read
      DrawLine(picture, px(a.Index), py(a.BestFitness) + dy, px(b.Index), py(b.BestFitness) + dy,
           kBestColor);
      DrawLine(picture, px(a.Index), py(a.MeanFitness) + dy, px(b.Index), py(b.MeanFitness) + dy,
           kMeanColor);
    }
  }
  if (records.size() == 1) {
    const GenerationRecord& r = records[0];
    picture.FillRect(static_cast<int32_t>(px(1)) - 1, static_cast<int32_t>(py(r.BestFitness)) - 1,
                     static_cast<int32_t>(px(1)) + 2, static_cast<int32_t>(py(r.BestFitness)) + 2,
                     kBestColor);
    picture.FillRect(static_cast<int32_t>(px(1)) - 1, static_cast<int32_t>(py(r.MeanFitness)) - 1,
                     static_cast<int32_t>(px(1)) + 2, static_cast<int32_t>(py(r.MeanFitness)) + 2,
                     kMeanColor);
  }
  picture.FrameRect(kLeft - 1, kTop - 1, kLeft + plotW + 1, kTop + plotH + 1, kAxis);

  picture.Font = TFont{"Arial", 13};
  Text(picture, kLeft, 12, title, kText);
  picture.Font = TFont{"Arial", 11};
  const int32_t legendX = kLeft + plotW - 250;
  picture.FillRect(legendX, kTop + 6, legendX + 240, kTop + 28, kBackground);
  picture.FillRect(legendX + 8, kTop + 16, legendX + 26, kTop + 19, kMeanColor);
  Text(picture, legendX + 32, kTop + 9, "mean fitness", kText);
  picture.FillRect(legendX + 122, kTop + 16, legendX + 140, kTop + 19, kBestColor);
  Text(picture, legendX + 146, kTop + 9, "best fitness", kText);
  Text(picture, kLeft + plotW / 2 - 60, kCurveHeight - 22, "generations bred", kText);
}

}  // namespace qf::arena
