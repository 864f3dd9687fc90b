#pragma once
// The learning curve of an arena run: mean and best fitness per generation bred, drawn with
// the project's raster library; tools/plot writes it as a PNG.

#include <string>
#include <vector>

#include "raster/bitmap32.h"
#include "tools/arena/arena.h"
#include "tools/plot/plot.h"

namespace qf::arena {

inline constexpr int32_t kCurveWidth = 800;
inline constexpr int32_t kCurveHeight = 480;

// A chart of several series of means with their errors (one standard error up and down),
// drawn like the learning curve: a point and an error bar at every x, lines between them, a
// legend of the series' names in their colours. The x axis is marked at whole numbers.
struct ChartPoint {
  double X = 0;
  double Mean = 0;
  double Error = 0;
};
struct ChartSeries {
  std::string Name;
  TColor32 Color = 0xFFFFFFFFu;
  std::vector<ChartPoint> Points;
};
struct Chart {
  std::string Title;
  std::string XLabel;
  std::vector<ChartSeries> Series;
};
void DrawChart(TBitmap32& picture, const Chart& chart);

// Draws the curve into `picture` (resized to kCurveWidth x kCurveHeight): axes with a grid,
// the mean in blue, the best in orange, and a grey mark where a new game began. Labels need a
// font; without one the picture has no text but is otherwise the same.
void DrawLearningCurve(TBitmap32& picture, const std::vector<GenerationRecord>& records,
                       const std::string& title);

}  // namespace qf::arena
