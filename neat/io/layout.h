#pragma once
// Where every part of a genome's drawing goes: nodes, their labels, connection paths, loops,
// arrowheads and delay marks, as plain data that any writer turns into a picture (the SVG of
// neat/io/svg.h, or a raster bitmap). Units are pixels at scale 1, y grows downward, and
// everything lies inside the box (0, 0)-(Width, Height); ScaleLayout fits it elsewhere.
//
// How it is laid out. Nodes stand in columns by Depth (inputs left, outputs right, one column
// per distinct depth); each node has a band of its own in its column: its self-loops above
// it, its labels below it (an output's name, then its transfer function; an input's name
// stands to its left). A connection leaves its node horizontally and crosses a column only in
// a band of its own, so it never runs through another node or a node's label: between columns
// it bends freely. Forward connections go out on the right and come in on the left; recurrent
// ones go out on the left and come in on the right, and those within one column curl out to
// its right. The arrowheads at a node stand one above the other, never on top of each other
// (a node with many connections is drawn larger to make room). A delay mark sits on its own
// connection where it touches no node, label or loop.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qf {
class TGenotype;
}

namespace qf::io {

struct LayoutPoint {
  double X = 0;
  double Y = 0;
};

struct LayoutBox {
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;

  double Width() const { return Right - Left; }
  double Height() const { return Bottom - Top; }
  // True when the interiors overlap (boxes that only touch do not).
  bool Intersects(const LayoutBox& o) const {
    return Left < o.Right && o.Left < Right && Top < o.Bottom && o.Top < Bottom;
  }
};

// Width of a UTF-8 text set in a font of the given size (in the layout's units).
using TextMeasure = std::function<double(std::string_view text, double size, bool bold)>;

// The advance widths of DejaVu Sans (and its bold face), the font the SVG asks for first;
// combining marks take no room, other letters outside ASCII are given a generous width.
double DejaVuSansWidth(std::string_view text, double size, bool bold);

struct LayoutOptions {
  std::string Title;  // above the network when not empty
  bool Legend = true;
  // The host's names of its inputs and outputs, UTF-8, by position (the i-th input node in
  // ascending number, ...). A node without a name, or with an empty one, shows its number only.
  std::vector<std::string> InputNames;
  std::vector<std::string> OutputNames;
  // How wide a text is; empty: DejaVuSansWidth. A raster writer passes its own font's measure.
  TextMeasure MeasureText;
};

enum class LayoutNodeKind { Input, Output, Hidden };

struct LayoutNode {
  int32_t Number = 0;
  LayoutNodeKind Kind = LayoutNodeKind::Hidden;
  double Depth = 0;
  int32_t Column = 0;
  LayoutPoint Centre;
  double Radius = 0;
  std::string TransferFunction;  // its name ("?" without one)
  std::string Name;              // the host's name, or empty
};

enum class LabelKind { Number, Name, TransferFunction, Delay, Title, Legend };
enum class LabelAlign { Start, Middle, End };

// A line of text. Box is the room it takes (its measured width, the font's ascent and
// descent); Baseline is where it is set: the left end, middle or right end of the box's
// baseline as Align says.
struct LayoutLabel {
  LabelKind Kind = LabelKind::Name;
  std::string Text;
  double Size = 11;
  bool Bold = false;
  LabelAlign Align = LabelAlign::Middle;
  LayoutPoint Baseline;
  LayoutBox Box;
  int32_t Node = -1;        // the node a Number, Name or TransferFunction label belongs to
  int32_t Connection = -1;  // the innovation number a Delay label belongs to
};

// A filled triangle: the tip touches the target, the base joins the connection's path.
struct LayoutArrow {
  LayoutPoint Tip;
  LayoutPoint BaseLeft;
  LayoutPoint BaseRight;
};

struct LayoutConnection {
  int32_t InnovationNumber = 0;
  int32_t FromNode = 0;
  int32_t ToNode = 0;
  double Weight = 0;
  bool Enabled = false;
  int32_t Delay = 0;
  bool Recurrent = false;  // source depth >= target depth, as the engine counts it
  bool SelfLoop = false;
  bool Dangling = false;   // an end the genome does not hold: drawn as a stub at the other
  // Cubic Bézier segments: Path[0] is the start, then every segment adds its two control
  // points and its end (1 + 3k points; a straight piece has its controls on the line). The
  // path ends where the arrowhead's base is.
  std::vector<LayoutPoint> Path;
  LayoutArrow Arrow;
  double Width = 1;  // stroke width, from the weight's magnitude
};

// A sample line of the legend, drawn as a connection of that weight sign and state would be.
struct LegendSample {
  LayoutPoint From;
  LayoutPoint To;
  bool Positive = true;
  bool Enabled = true;
};

struct NetworkLayout {
  double Width = 0;
  double Height = 0;
  std::vector<LayoutNode> Nodes;              // in the genome's NodeList order
  std::vector<LayoutConnection> Connections;  // in its ConnectList order
  std::vector<LayoutLabel> Labels;
  std::vector<LegendSample> Legend;
};

NetworkLayout LayoutGenotype(const TGenotype& genotype, const LayoutOptions& options = {});

// Scales every coordinate, size and width by factor and then moves the picture by (dx, dy).
void ScaleLayout(NetworkLayout& layout, double factor, double dx = 0, double dy = 0);

// Points along a connection's path, `perSegment` to a Bézier segment plus its end, for
// writers that draw polylines and for geometric checks.
std::vector<LayoutPoint> FlattenPath(const std::vector<LayoutPoint>& path, int perSegment = 16);

}  // namespace qf::io
