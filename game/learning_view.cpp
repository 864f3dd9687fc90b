#include "game/learning_view.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "base/numbers.h"
#include "game/drawing.h"
#include "game/invaders.h"
#include "neat/genotype.h"
#include "neat/io/layout.h"
#include "raster/bitmap32.h"
#include "raster/text.h"

namespace qf {

namespace {

constexpr TColor32 kBackground = 0xF4101820u;
constexpr TColor32 kBorder = 0xFF5A6878u;
constexpr TColor32 kPlot = 0xFF1C2632u;
constexpr TColor32 kText = 0xFFE6EAF0u;
constexpr TColor32 kDim = 0xFF98A4B4u;
constexpr TColor32 kNewGame = 0xFF4A5666u;
constexpr TColor32 kHitsColor = 0xFFFF6A5Au;
constexpr TColor32 kBombsColor = 0xFFFFC840u;
constexpr TColor32 kPositive = 0xFF4AA8FFu;
constexpr TColor32 kNegative = 0xFFFF5A4Au;
constexpr TColor32 kDisabled = 0x60A0A0A0u;
constexpr TColor32 kInputNode = 0xFF9ED0FFu;
constexpr TColor32 kOutputNode = 0xFFFFB060u;
constexpr TColor32 kHiddenNode = 0xFFE0E0E0u;

constexpr int32_t kMargin = 10;
constexpr int32_t kChartTop = 62, kChartBottom = 158;
constexpr int32_t kNetworkTop = 196, kNetworkBottom = 390;
constexpr int32_t kSmallestText = 10;  // pixels
constexpr double kMaxWeight = 3.0;  // the game's MaxLinkWeight: the strongest a link gets

void Text(TBitmap32& b, int32_t x, int32_t y, const std::string& text, TColor32 color) {
  b.RenderText(x, y, text, 2, color);
}

int32_t TextWidth(const TBitmap32& b, const std::string& text) { return b.TextExtent(text).cx; }

// The smallest whole 1, 2, 2.5 or 5 times a power of ten at or above v, at least 1.
int32_t RoundUp(int32_t v) {
  int32_t step = 1;
  while (step * 10 < v) step *= 10;
  for (int32_t tenths : {10, 20, 25, 50})
    if (step * tenths % 10 == 0 && step * tenths / 10 >= v) return step * tenths / 10;
  return step * 10;
}

// One bar per generation bred, a line where a new game began.
void DrawBars(TBitmap32& b, int32_t left, int32_t right, const std::string& title,
              const std::vector<TWaveRecord>& history, int32_t TWaveRecord::*figure,
              TColor32 color) {
  const int32_t width = right - left;
  const int32_t height = kChartBottom - kChartTop;
  int32_t highest = 0;
  for (const TWaveRecord& r : history) highest = std::max(highest, r.*figure);
  const int32_t top = RoundUp(highest);
  Text(b, left, kChartTop - 18, title, color);
  if (!history.empty()) {
    const std::string last = "last " + std::to_string(history.back().*figure);
    Text(b, right - TextWidth(b, last), kChartTop - 18, last, kDim);
  }
  b.FillRect(left, kChartTop, right, kChartBottom, kPlot);
  const auto n = static_cast<double>(history.size());
  for (size_t i = 0; i < history.size(); ++i) {
    const auto x0 = left + static_cast<int32_t>(std::floor(i * width / n));
    const auto x1 = std::max(x0 + 1, left + static_cast<int32_t>(std::floor((i + 1) * width / n)));
    // Where a game began, while the bars are wide enough to leave room for the line.
    if (i > 0 && history[i].Game != history[i - 1].Game && width >= 3 * n)
      b.FillRect(x0, kChartTop, x0 + 1, kChartBottom, kNewGame);
    const auto barHeight =
        static_cast<int32_t>(std::lround(static_cast<double>(history[i].*figure) / top * height));
    // Bars of one pixel or two would touch; wider ones keep a gap.
    b.FillRect(x0 + (x1 - x0 > 3 ? 1 : 0), kChartBottom - barHeight, x1, kChartBottom, color);
  }
  b.FrameRect(left - 1, kChartTop - 1, right + 1, kChartBottom + 1, kBorder);
  const std::string scale = std::to_string(top);
  b.FillRect(left, kChartTop, left + TextWidth(b, scale) + 4, kChartTop + 13, kPlot);
  Text(b, left + 2, kChartTop, scale, kDim);
}

using io::LayoutPoint;

void Disc(TBitmap32& b, LayoutPoint centre, double radius, TColor32 color) {
  const auto x0 = static_cast<int32_t>(std::floor(centre.X - radius - 1));
  const auto y0 = static_cast<int32_t>(std::floor(centre.Y - radius - 1));
  for (int32_t y = y0; y <= y0 + 2 * radius + 2; ++y) {
    for (int32_t x = x0; x <= x0 + 2 * radius + 2; ++x) {
      const double d = std::hypot(x + 0.5 - centre.X, y + 0.5 - centre.Y);
      b.BlendPixel(x, y, WithCoverage(color, radius + 0.5 - d));
    }
  }
}

// The pixels whose centres lie inside the triangle.
void Triangle(TBitmap32& b, LayoutPoint p, LayoutPoint q, LayoutPoint r, TColor32 color) {
  const LayoutPoint corners[3] = {p, q, r};
  const auto top = static_cast<int32_t>(std::floor(std::min({p.Y, q.Y, r.Y})));
  const auto bottom = static_cast<int32_t>(std::ceil(std::max({p.Y, q.Y, r.Y})));
  for (int32_t y = top; y <= bottom; ++y) {
    const double cy = y + 0.5;
    double from = 1e9, to = -1e9;
    for (int i = 0; i < 3; ++i) {
      const LayoutPoint a = corners[i], c = corners[(i + 1) % 3];
      if ((a.Y <= cy) == (c.Y <= cy)) continue;  // the edge does not cross this row
      const double x = a.X + (cy - a.Y) / (c.Y - a.Y) * (c.X - a.X);
      from = std::min(from, x);
      to = std::max(to, x);
    }
    for (auto x = static_cast<int32_t>(std::ceil(from - 0.5)); x + 0.5 <= to; ++x)
      b.BlendPixel(x, y, color);
  }
}

// The network as neat/io lays it out, fitted into the area. Of the labels only the names of
// sensors and outputs and the delays are drawn, at a size that stays readable when the
// network is drawn small; node numbers and transfer functions would not be.
void DrawNetwork(TBitmap32& b, const TGenotype& g, double left, double top, double right,
                 double bottom) {
  io::LayoutOptions options;
  options.Legend = false;
  options.InputNames.assign(kInvaderInputNames.begin(), kInvaderInputNames.end());
  options.OutputNames.assign(kInvaderOutputNames.begin(), kInvaderOutputNames.end());
  options.MeasureText = [](std::string_view text, double size, bool bold) {
    const int32_t width = TextExtent(TFont{"Arial", -static_cast<int32_t>(std::lround(size))}, text).cx;
    return width > 0 ? width : io::DejaVuSansWidth(text, size, bold);
  };
  io::NetworkLayout layout = io::LayoutGenotype(g, options);
  const double factor =
      std::min({1.0, (right - left) / layout.Width, (bottom - top) / layout.Height});
  io::ScaleLayout(layout, factor, left + (right - left - layout.Width * factor) / 2,
                  top + (bottom - top - layout.Height * factor) / 2);

  for (const io::LayoutConnection& c : layout.Connections) {
    const double strength = std::min(1.0, std::fabs(c.Weight) / kMaxWeight);
    const TColor32 color = !c.Enabled     ? kDisabled
                           : c.Weight >= 0 ? WithCoverage(kPositive, 0.35 + 0.65 * strength)
                                           : WithCoverage(kNegative, 0.35 + 0.65 * strength);
    const std::vector<LayoutPoint> line = io::FlattenPath(c.Path, 8);
    for (size_t i = 1; i < line.size(); ++i) {
      DrawLine(b, line[i - 1].X, line[i - 1].Y, line[i].X, line[i].Y, color);
      if (c.Width > 1.2) DrawLine(b, line[i - 1].X, line[i - 1].Y + 0.7, line[i].X, line[i].Y + 0.7, color);
    }
    Triangle(b, c.Arrow.Tip, c.Arrow.BaseLeft, c.Arrow.BaseRight, color);
  }
  for (const io::LayoutNode& n : layout.Nodes) {
    Disc(b, n.Centre, n.Radius, n.Kind == io::LayoutNodeKind::Input    ? kInputNode
                                : n.Kind == io::LayoutNodeKind::Output ? kOutputNode
                                                                       : kHiddenNode);
  }
  for (const io::LayoutLabel& label : layout.Labels) {
    if (label.Kind != io::LabelKind::Name && label.Kind != io::LabelKind::Delay) continue;
    const auto px = std::max(kSmallestText, static_cast<int32_t>(std::lround(label.Size)));
    b.Font = TFont{"Arial", -px};
    const TSize extent = b.TextExtent(label.Text);
    const double x = label.Align == io::LabelAlign::Start    ? label.Baseline.X
                     : label.Align == io::LabelAlign::Middle ? label.Baseline.X - extent.cx / 2.0
                                                             : label.Baseline.X - extent.cx;
    // Centred on the room the layout gave it, which may be smaller than the text.
    const double y = (label.Box.Top + label.Box.Bottom - extent.cy) / 2;
    TColor32 color = kText;
    for (const io::LayoutNode& n : layout.Nodes) {
      if (n.Number == label.Node)
        color = n.Kind == io::LayoutNodeKind::Input ? kInputNode : kOutputNode;
    }
    Text(b, static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y)),
         label.Text, color);
  }
}

}  // namespace

void DrawLearningView(TBitmap32& b, const TLearningViewContent& content) {
  b.SetSize(kLearningViewSize, kLearningViewSize);
  b.Clear(kBackground);
  b.FrameRect(0, 0, kLearningViewSize, kLearningViewSize, kBorder);
  static const std::vector<TWaveRecord> kNone;
  const std::vector<TWaveRecord>& history = content.History ? *content.History : kNone;

  b.Font = TFont{"Arial", 12};
  Text(b, kMargin, 6, "Generation " + std::to_string(content.Generation) + ", game " +
                          std::to_string(content.Game), kText);
  b.Font = TFont{"Arial", 8};
  const std::string close = "L closes";
  Text(b, kLearningViewSize - kMargin - TextWidth(b, close), 10, close, kDim);
  Text(b, kMargin, 26,
       std::to_string(history.size()) +
           (history.size() == 1 ? " generation bred" : " generations bred") +
           (content.Remembered ? ", every game of this population" : " in this game"),
       kDim);

  const int32_t middle = kLearningViewSize / 2;
  DrawBars(b, kMargin, middle - 6, "hits on the ship", history, &TWaveRecord::Hits, kHitsColor);
  DrawBars(b, middle + 6, kLearningViewSize - kMargin, "bombs dropped", history,
           &TWaveRecord::Bombs, kBombsColor);

  if (!content.Best || history.empty()) {
    Text(b, kMargin, kNetworkTop - 22,
         "The best invader's network shows once a generation is bred.", kDim);
    return;
  }
  const TWaveRecord& last = history.back();
  Text(b, kMargin, kNetworkTop - 22,
       "Best invader of generation " + std::to_string(last.Generation) + ": fitness " +
           FormatFixed(last.BestFitness, 1) + ", " + std::to_string(content.Best->GeneCount()) +
           " genes",
       kText);
  DrawNetwork(b, *content.Best, kMargin, kNetworkTop, kLearningViewSize - kMargin, kNetworkBottom);
}

}  // namespace qf
