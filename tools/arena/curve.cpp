#include "tools/arena/curve.h"

#include <algorithm>
#include <cmath>

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

TColor32 WithAlpha(TColor32 c, double coverage) {
  const auto a = static_cast<uint32_t>(std::lround(std::clamp(coverage, 0.0, 1.0) * (c >> 24)));
  return (c & 0x00FFFFFFu) | a << 24;
}

// An antialiased line (Wu's): two pixels per step share the coverage, blended in.
void Line(TBitmap32& b, double x0, double y0, double x1, double y1, TColor32 color) {
  const bool steep = std::fabs(y1 - y0) > std::fabs(x1 - x0);
  if (steep) {
    std::swap(x0, y0);
    std::swap(x1, y1);
  }
  if (x0 > x1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  const double dx = x1 - x0;
  const double gradient = dx == 0 ? 0 : (y1 - y0) / dx;
  auto plot = [&](int32_t x, int32_t y, double coverage) {
    if (steep) b.BlendPixel(y, x, WithAlpha(color, coverage));
    else b.BlendPixel(x, y, WithAlpha(color, coverage));
  };
  const auto first = static_cast<int32_t>(std::lround(x0));
  const auto last = static_cast<int32_t>(std::lround(x1));
  for (int32_t x = first; x <= last; ++x) {
    const double y = y0 + gradient * (x - x0);
    const auto yi = static_cast<int32_t>(std::floor(y));
    const double frac = y - yi;
    plot(x, yi, 1 - frac);
    plot(x, yi + 1, frac);
  }
}

void Text(TBitmap32& b, int32_t x, int32_t y, const std::string& text, TColor32 color) {
  b.RenderText(x, y, text, 2, color);
}

}  // namespace

void DrawLearningCurve(TBitmap32& picture, const std::vector<GenerationRecord>& records,
                       const std::string& title) {
  picture.SetSize(kCurveWidth, kCurveHeight);
  picture.Clear(kBackground);
  picture.Font = TFont{"Arial", 11};
  const int32_t plotW = kCurveWidth - kLeft - kRight;
  const int32_t plotH = kCurveHeight - kTop - kBottom;
  picture.FillRect(kLeft, kTop, kLeft + plotW, kTop + plotH, kPlotBackground);

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
      Line(picture, px(a.Index), py(a.BestFitness) + dy, px(b.Index), py(b.BestFitness) + dy,
           kBestColor);
      Line(picture, px(a.Index), py(a.MeanFitness) + dy, px(b.Index), py(b.MeanFitness) + dy,
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
