#include "game/learning_view.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <string>

#include "base/numbers.h"
#include "game/drawing.h"
#include "game/invaders.h"
#include "neat/genotype.h"
#include "raster/bitmap32.h"

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
constexpr int32_t kInputColumn = 84, kOutputColumn = 318;
constexpr double kNodeRadius = 4.5;
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
    if (i > 0 && history[i].Game != history[i - 1].Game)
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

struct Point {
  double X = 0, Y = 0;
};

// Where the nodes of a network stand: columns by depth, inputs left and outputs right, the
// nodes of a column spread evenly in the order of their numbers. The one place that decides
// positions, so that a fuller layout can take its place.
std::map<int32_t, Point> LayOutNetwork(const TGenotype& g, double left, double top,
                                       double right, double bottom) {
  std::map<double, std::vector<int32_t>> columns;  // ascending depth, then number
  for (const TNode* n : g.NodeList) columns[n->Depth].push_back(n->Number);
  std::map<int32_t, Point> at;
  const double step = columns.size() > 1 ? (right - left) / (columns.size() - 1) : 0;
  size_t c = 0;
  for (const auto& [depth, numbers] : columns) {
    const double x = columns.size() > 1 ? left + step * c : (left + right) / 2;
    const double rowStep = (bottom - top) / numbers.size();
    for (size_t i = 0; i < numbers.size(); ++i)
      at[numbers[i]] = Point{x, top + rowStep * (i + 0.5)};
    ++c;
  }
  return at;
}

void Disc(TBitmap32& b, Point centre, double radius, TColor32 color) {
  const auto x0 = static_cast<int32_t>(std::floor(centre.X - radius - 1));
  const auto y0 = static_cast<int32_t>(std::floor(centre.Y - radius - 1));
  for (int32_t y = y0; y <= y0 + 2 * radius + 2; ++y) {
    for (int32_t x = x0; x <= x0 + 2 * radius + 2; ++x) {
      const double d = std::hypot(x + 0.5 - centre.X, y + 0.5 - centre.Y);
      b.BlendPixel(x, y, WithCoverage(color, radius + 0.5 - d));
    }
  }
}

void Ring(TBitmap32& b, Point centre, double radius, TColor32 color) {
  constexpr int kSteps = 16;
  for (int i = 0; i < kSteps; ++i) {
    const double a0 = 2 * std::numbers::pi * i / kSteps, a1 = 2 * std::numbers::pi * (i + 1) / kSteps;
    DrawLine(b, centre.X + radius * std::cos(a0), centre.Y + radius * std::sin(a0),
             centre.X + radius * std::cos(a1), centre.Y + radius * std::sin(a1), color);
  }
}

void DrawNetwork(TBitmap32& b, const TGenotype& g) {
  const std::map<int32_t, Point> at =
      LayOutNetwork(g, kInputColumn, kNetworkTop, kOutputColumn, kNetworkBottom);
  for (const TConnect* c : g.ConnectList) {
    const auto from = at.find(c->FromNode);
    const auto to = at.find(c->ToNode);
    if (from == at.end() || to == at.end()) continue;
    const double strength = std::min(1.0, std::fabs(c->Weight) / kMaxWeight);
    const TColor32 color = !c->Enabled     ? kDisabled
                           : c->Weight >= 0 ? WithCoverage(kPositive, 0.35 + 0.65 * strength)
                                            : WithCoverage(kNegative, 0.35 + 0.65 * strength);
    if (c->FromNode == c->ToNode) {  // a self-loop curls over its node
      Ring(b, Point{from->second.X, from->second.Y - kNodeRadius - 3}, 4, color);
      continue;
    }
    const Point p = from->second, q = to->second;
    DrawLine(b, p.X, p.Y, q.X, q.Y, color);
    if (c->Enabled && strength > 0.5) DrawLine(b, p.X, p.Y + 0.7, q.X, q.Y + 0.7, color);
  }
  int32_t inputs = 0, outputs = 0;
  for (const TNode* n : g.NodeList) {
    const Point p = at.at(n->Number);
    Disc(b, p, kNodeRadius, n->IsInput ? kInputNode : n->IsOutput ? kOutputNode : kHiddenNode);
    const auto y = static_cast<int32_t>(p.Y) - 7;
    if (n->IsInput && inputs < static_cast<int32_t>(kInvaderInputNames.size())) {
      const std::string name = kInvaderInputNames[static_cast<size_t>(inputs++)];
      Text(b, kInputColumn - 9 - TextWidth(b, name), y, name, kInputNode);
    } else if (n->IsOutput && outputs < static_cast<int32_t>(kInvaderOutputNames.size())) {
      Text(b, kOutputColumn + 9, y, kInvaderOutputNames[static_cast<size_t>(outputs++)],
           kOutputNode);
    }
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
  DrawNetwork(b, *content.Best);
}

}  // namespace qf
