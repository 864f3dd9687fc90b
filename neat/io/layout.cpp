#include "neat/io/layout.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <utility>

#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/transfer_functions.h"

namespace qf::io {

namespace {

// Advance widths of DejaVu Sans Book and Bold, ASCII 32 to 126, in 1/2048 em.
constexpr uint16_t kRegularAdvance[95] = {
    651,  821,  942,  1716, 1303, 1946, 1597, 563,  799,  799,  1024, 1716, 651,  739,  651,  690,
    1303, 1303, 1303, 1303, 1303, 1303, 1303, 1303, 1303, 1303, 690,  690,  1716, 1716, 1716, 1087,
    2048, 1401, 1405, 1430, 1577, 1294, 1178, 1587, 1540, 604,  604,  1343, 1141, 1767, 1532, 1612,
    1235, 1612, 1423, 1300, 1251, 1499, 1401, 2025, 1403, 1251, 1403, 799,  690,  799,  1716, 1024,
    1024, 1255, 1300, 1126, 1300, 1260, 721,  1300, 1298, 569,  569,  1186, 569,  1995, 1298, 1253,
    1300, 1300, 842,  1067, 803,  1298, 1212, 1675, 1212, 1212, 1075, 1303, 690,  1303, 1716};
constexpr uint16_t kBoldAdvance[95] = {
    713,  934,  1067, 1716, 1425, 2052, 1786, 627,  936,  936,  1071, 1716, 778,  850,  778,  748,
    1425, 1425, 1425, 1425, 1425, 1425, 1425, 1425, 1425, 1425, 819,  819,  1716, 1716, 1716, 1188,
    2048, 1585, 1561, 1503, 1700, 1399, 1399, 1681, 1714, 762,  762,  1587, 1305, 2038, 1714, 1741,
    1501, 1741, 1577, 1475, 1397, 1663, 1585, 2259, 1579, 1483, 1485, 936,  748,  936,  1716, 1024,
    1024, 1382, 1466, 1214, 1466, 1389, 891,  1466, 1458, 702,  702,  1362, 702,  2134, 1458, 1407,
    1466, 1466, 1010, 1219, 979,  1458, 1335, 1892, 1321, 1335, 1192, 1458, 748,  1458, 1716};

// The font's ascent and descent (1901 and 483 of 2048): a line's box.
constexpr double kAscent = 0.93;
constexpr double kDescent = 0.24;

constexpr double kBaseRadius = 17;
constexpr double kPortSpacing = 9;      // between the ports of one side: arrowheads are 7 wide
constexpr double kPortSlope = 0.75;     // ports stay within 49 degrees of the horizontal
constexpr double kArrowLength = 9;
constexpr double kArrowHalfWidth = 3.5;
constexpr double kNumberSize = 13;
constexpr double kLabelSize = 11;
constexpr double kDelaySize = 9;
constexpr double kTitleSize = 16;
constexpr double kBandGap = 10;         // between the bands of one column
constexpr double kPassingBand = 5;      // half the band of a connection passing a column
constexpr double kColumnPad = 12;       // more than an arrowhead, beyond the widest label
constexpr double kCurveGap = 110;       // between columns, where connections bend
constexpr double kLoopHeight = 24;      // of a self-loop above its node
constexpr double kLaneStep = 9;         // between the curls of connections within a column
constexpr double kMargin = 16;

double LineHeight(double size) { return size * (kAscent + kDescent); }

LayoutPoint Lerp(LayoutPoint a, LayoutPoint b, double t) {
  return {a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t};
}

LayoutPoint Bezier(const LayoutPoint* p, double t) {
  const double u = 1 - t;
  const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
  return {a * p[0].X + b * p[1].X + c * p[2].X + d * p[3].X,
          a * p[0].Y + b * p[1].Y + c * p[2].Y + d * p[3].Y};
}

void LineTo(std::vector<LayoutPoint>& path, LayoutPoint to) {
  const LayoutPoint from = path.back();
  path.push_back(Lerp(from, to, 1.0 / 3));
  path.push_back(Lerp(from, to, 2.0 / 3));
  path.push_back(to);
}

// A bend that leaves and arrives horizontally.
void CurveTo(std::vector<LayoutPoint>& path, LayoutPoint to) {
  const LayoutPoint from = path.back();
  const double mid = (from.X + to.X) / 2;
  path.push_back({mid, from.Y});
  path.push_back({mid, to.Y});
  path.push_back(to);
}

// Arrowhead with its tip at `tip`, pointing along the unit vector (dx, dy).
LayoutArrow ArrowAt(LayoutPoint tip, double dx, double dy) {
  const LayoutPoint base{tip.X - dx * kArrowLength, tip.Y - dy * kArrowLength};
  return {tip, {base.X - dy * kArrowHalfWidth, base.Y + dx * kArrowHalfWidth},
          {base.X + dy * kArrowHalfWidth, base.Y - dx * kArrowHalfWidth}};
}

LayoutLabel MakeLabel(LabelKind kind, std::string text, double size, bool bold, LabelAlign align,
                      double x, double top, double width) {
  LayoutLabel l;
  l.Kind = kind;
  l.Text = std::move(text);
  l.Size = size;
  l.Bold = bold;
  l.Align = align;
  const double left = align == LabelAlign::Start ? x : align == LabelAlign::Middle ? x - width / 2 : x - width;
  l.Box = {left, top, left + width, top + LineHeight(size)};
  l.Baseline = {x, top + size * kAscent};
  return l;
}

bool CircleTouchesBox(LayoutPoint c, double r, const LayoutBox& b) {
  const double x = std::clamp(c.X, b.Left, b.Right);
  const double y = std::clamp(c.Y, b.Top, b.Bottom);
  return std::hypot(c.X - x, c.Y - y) < r;
}

// True when the polyline comes within `reach` of the box.
bool PolylineTouchesBox(const std::vector<LayoutPoint>& line, double reach, const LayoutBox& b) {
  const LayoutBox grown{b.Left - reach, b.Top - reach, b.Right + reach, b.Bottom + reach};
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    // Short pieces: testing a few points of each is exact enough at these sizes.
    for (int k = 0; k <= 4; ++k) {
      const LayoutPoint p = Lerp(line[i], line[i + 1], k / 4.0);
      if (p.X > grown.Left && p.X < grown.Right && p.Y > grown.Top && p.Y < grown.Bottom) return true;
    }
  }
  return false;
}

enum class Route { Forward, Backward, SameColumn, SelfLoop, Dangling };

// What stands in a column: a node, or a connection passing through it.
struct Item {
  int32_t Column = 0;
  int32_t Node = -1;        // index into the layout's nodes
  int32_t Connection = -1;  // a passing connection's index
  double Top = 0;           // the band's extent above and below Y
  double Bottom = 0;
  double Y = 0;
  double Key = 0;
  std::vector<int32_t> Neighbours;  // items in the columns beside, joined by a connection
};

struct Port {
  int32_t Connection;
  double Toward;  // height of what the connection goes to first: ports are ordered by it
  double Dy = 0;
};

struct NodeInfo {
  int32_t Item = -1;
  std::vector<Port> Left, Right;  // forward in, backward out / forward out, backward in, curls
  int32_t Loops = 0;
  std::vector<std::string> Below;  // label lines under the node
};

struct Routing {
  Route Kind = Route::Forward;
  std::vector<int32_t> Chain;  // items from source to target
  int32_t Lane = 0;            // curls within a column and self-loops, inner first
};

class Layouter {
public:
  Layouter(const TGenotype& g, const LayoutOptions& options, double extraGap)
      : g_(g), options_(options), extraGap_(extraGap) {
    measure_ = options.MeasureText ? options.MeasureText : TextMeasure(DejaVuSansWidth);
  }

  // False when a delay mark found no free place (the caller widens the gaps and tries again).
  bool Run(NetworkLayout& out) {
    CollectNodes();
    RouteConnections();
    SizeNodes();
    OrderColumns();
    PlaceRows();
    PlaceColumns();
    DrawConnections();
    LabelNodes();
    const bool placed = MarkDelays();
    Frame();
    out = std::move(layout_);
    return placed;
  }

private:
  double Width(const std::string& text, double size, bool bold) const {
    return std::max(0.0, measure_(text, size, bold));
  }
  LayoutNode& NodeOf(int32_t item) { return layout_.Nodes[static_cast<size_t>(items_[static_cast<size_t>(item)].Node)]; }

  void CollectNodes() {
    std::vector<double> depths;
    for (const TNode* n : g_.NodeList) depths.push_back(n->Depth);
    std::sort(depths.begin(), depths.end());
    depths.erase(std::unique(depths.begin(), depths.end()), depths.end());
    columns_.assign(std::max<size_t>(depths.size(), 1), {});
    size_t inputs = 0, outputs = 0;
    for (const TNode* n : g_.NodeList) {
      LayoutNode node;
      node.Number = n->Number;
      node.Kind = n->IsInput ? LayoutNodeKind::Input : n->IsOutput ? LayoutNodeKind::Output : LayoutNodeKind::Hidden;
      node.Depth = n->Depth;
      node.Column = static_cast<int32_t>(std::lower_bound(depths.begin(), depths.end(), n->Depth) - depths.begin());
      node.TransferFunction = n->TransferFunction ? n->TransferFunction->Name : std::string("?");
      if (n->IsInput && inputs < options_.InputNames.size()) node.Name = options_.InputNames[inputs];
      if (n->IsOutput && outputs < options_.OutputNames.size()) node.Name = options_.OutputNames[outputs];
      inputs += n->IsInput;
      outputs += n->IsOutput;
      index_[n->Number] = static_cast<int32_t>(layout_.Nodes.size());
      Item item;
      item.Column = node.Column;
      item.Node = static_cast<int32_t>(layout_.Nodes.size());
      info_.push_back({});
      info_.back().Item = static_cast<int32_t>(items_.size());
      columns_[static_cast<size_t>(node.Column)].push_back(static_cast<int32_t>(items_.size()));
      items_.push_back(item);
      layout_.Nodes.push_back(std::move(node));
    }
  }

  int32_t NodeIndex(int32_t number) const {
    const auto it = index_.find(number);
    return it == index_.end() ? -1 : it->second;
  }

  void RouteConnections() {
    double maxWeight = 0.0;
    for (const TConnect* c : g_.ConnectList)
      if (std::isfinite(c->Weight)) maxWeight = std::max(maxWeight, std::fabs(c->Weight));
    if (g_.NEATPopulation) maxWeight = std::max(maxWeight, static_cast<double>(g_.NEATPopulation->MaxLinkWeight));
    if (!(maxWeight > 0.0)) maxWeight = 1.0;

    for (const TConnect* c : g_.ConnectList) {
      LayoutConnection lc;
      lc.InnovationNumber = c->InnovationNumber;
      lc.FromNode = c->FromNode;
      lc.ToNode = c->ToNode;
      lc.Weight = c->Weight;
      lc.Enabled = c->Enabled;
      lc.Delay = c->Delay;
      const double magnitude = std::isfinite(c->Weight) ? std::min(std::fabs(c->Weight) / maxWeight, 1.0) : 1.0;
      lc.Width = 0.8 + 4.2 * magnitude;
      const int32_t from = NodeIndex(c->FromNode), to = NodeIndex(c->ToNode);
      const int32_t index = static_cast<int32_t>(layout_.Connections.size());
      Routing r;
      if (from < 0 || to < 0) {
        r.Kind = Route::Dangling;
        lc.Dangling = true;
      } else {
        const LayoutNode& a = layout_.Nodes[static_cast<size_t>(from)];
        const LayoutNode& b = layout_.Nodes[static_cast<size_t>(to)];
        lc.Recurrent = a.Depth >= b.Depth;
        lc.SelfLoop = from == to;
        if (lc.SelfLoop) {
          r.Kind = Route::SelfLoop;
          r.Lane = info_[static_cast<size_t>(from)].Loops++;
        } else if (a.Column == b.Column) {
          r.Kind = Route::SameColumn;
          info_[static_cast<size_t>(from)].Right.push_back({index, 0});
          info_[static_cast<size_t>(to)].Right.push_back({index, 0});
          r.Chain = {info_[static_cast<size_t>(from)].Item, info_[static_cast<size_t>(to)].Item};
        } else {
          const bool forward = a.Column < b.Column;
          r.Kind = forward ? Route::Forward : Route::Backward;
          (forward ? info_[static_cast<size_t>(from)].Right : info_[static_cast<size_t>(from)].Left).push_back({index, 0});
          (forward ? info_[static_cast<size_t>(to)].Left : info_[static_cast<size_t>(to)].Right).push_back({index, 0});
          r.Chain.push_back(info_[static_cast<size_t>(from)].Item);
          const int32_t step = forward ? 1 : -1;
          for (int32_t col = a.Column + step; col != b.Column; col += step) {
            Item pass;
            pass.Column = col;
            pass.Connection = index;
            pass.Top = pass.Bottom = kPassingBand;
            columns_[static_cast<size_t>(col)].push_back(static_cast<int32_t>(items_.size()));
            r.Chain.push_back(static_cast<int32_t>(items_.size()));
            items_.push_back(pass);
          }
          r.Chain.push_back(info_[static_cast<size_t>(to)].Item);
          for (size_t k = 0; k + 1 < r.Chain.size(); ++k) {
            items_[static_cast<size_t>(r.Chain[k])].Neighbours.push_back(r.Chain[k + 1]);
            items_[static_cast<size_t>(r.Chain[k + 1])].Neighbours.push_back(r.Chain[k]);
          }
        }
      }
      routes_.push_back(std::move(r));
      layout_.Connections.push_back(std::move(lc));
    }
  }

  // Radius, the labels under the node and the band the node takes in its column.
  void SizeNodes() {
    for (size_t i = 0; i < layout_.Nodes.size(); ++i) {
      LayoutNode& n = layout_.Nodes[i];
      NodeInfo& info = info_[i];
      const std::string number = std::to_string(n.Number);
      const double numberHalf = Width(number, kNumberSize, true) / 2;
      const size_t ports = std::max(info.Left.size(), info.Right.size());
      const double portsHalf = ports > 1 ? static_cast<double>(ports - 1) * kPortSpacing / 2 : 0.0;
      n.Radius = std::max({kBaseRadius, std::hypot(numberHalf, LineHeight(kNumberSize) / 2) + 3,
                           portsHalf / kPortSlope});
      if (n.Kind != LayoutNodeKind::Input) {
        if (!n.Name.empty()) info.Below.push_back(n.Name);
        info.Below.push_back(n.TransferFunction);
      }
      Item& item = items_[static_cast<size_t>(info.Item)];
      item.Top = info.Loops > 0 ? LoopReach(n, info.Loops - 1) : n.Radius;
      item.Top += kBandGap / 2;
      item.Bottom = n.Radius + kBandGap / 2;
      if (!info.Below.empty())
        item.Bottom += 3 + static_cast<double>(info.Below.size()) * (LineHeight(kLabelSize) + 1);
    }
  }

  // Self-loop `lane` of a node at the origin: its path and arrowhead.
  std::pair<std::vector<LayoutPoint>, LayoutArrow> Loop(const LayoutNode& n, int32_t lane) const {
    const double r = n.Radius;
    const double angle = (20.0 + 8.0 * lane) * M_PI / 180;
    const LayoutPoint a{n.Centre.X - r * std::sin(angle), n.Centre.Y - r * std::cos(angle)};
    const LayoutPoint b{n.Centre.X + r * std::sin(angle), n.Centre.Y - r * std::cos(angle)};
    const double apex = n.Centre.Y - r - kLoopHeight - 14.0 * lane;
    const double controlY = (8 * apex - 2 * a.Y) / 6;  // the curve peaks at `apex`
    const double spread = 0.9 * r + 10 + 4.0 * lane;
    LayoutPoint c1{n.Centre.X - spread, controlY}, c2{n.Centre.X + spread, controlY};
    const double len = std::hypot(b.X - c2.X, b.Y - c2.Y);
    const double dx = (b.X - c2.X) / len, dy = (b.Y - c2.Y) / len;
    const LayoutArrow arrow = ArrowAt(b, dx, dy);
    const LayoutPoint base{b.X - dx * kArrowLength, b.Y - dy * kArrowLength};
    c2 = {c2.X + base.X - b.X, c2.Y + base.Y - b.Y};
    return {{a, c1, c2, base}, arrow};
  }

  // How far above the centre the outermost self-loop (with its delay mark) reaches.
  double LoopReach(const LayoutNode& n, int32_t lane) const {
    return n.Radius + kLoopHeight + 14.0 * lane + 3 + LineHeight(kDelaySize) + 1;
  }

  int64_t Crossings() const {
    int64_t total = 0;
    for (size_t c = 0; c + 1 < columns_.size(); ++c) {
      std::vector<std::pair<int32_t, int32_t>> links;
      for (int32_t id : columns_[c]) {
        for (int32_t other : items_[static_cast<size_t>(id)].Neighbours) {
          if (items_[static_cast<size_t>(other)].Column == static_cast<int32_t>(c) + 1)
            links.push_back({order_[static_cast<size_t>(id)], order_[static_cast<size_t>(other)]});
        }
      }
      for (size_t i = 0; i < links.size(); ++i)
        for (size_t j = i + 1; j < links.size(); ++j)
          if ((links[i].first - links[j].first) * static_cast<int64_t>(links[i].second - links[j].second) < 0) ++total;
    }
    return total;
  }

  void Renumber() {
    order_.assign(items_.size(), 0);
    for (const auto& column : columns_)
      for (size_t k = 0; k < column.size(); ++k) order_[static_cast<size_t>(column[k])] = static_cast<int32_t>(k);
  }

  // Inputs and outputs keep the order of their numbers; the columns between are sorted by the
  // mean place of their neighbours, sweeping right and left, and the order with the fewest
  // crossings is kept.
  void OrderColumns() {
    Renumber();
    const size_t last = columns_.size() - 1;
    auto best = columns_;
    int64_t fewest = Crossings();
    for (int sweep = 0; sweep < 12 && fewest > 0; ++sweep) {
      const bool rightward = sweep % 2 == 0;
      for (size_t k = 1; k < last; ++k) {
        const size_t c = rightward ? k : last - k;
        const int32_t side = rightward ? static_cast<int32_t>(c) - 1 : static_cast<int32_t>(c) + 1;
        auto& column = columns_[c];
        for (int32_t id : column) {
          Item& item = items_[static_cast<size_t>(id)];
          double sum = 0;
          int count = 0;
          for (int32_t other : item.Neighbours) {
            const Item& o = items_[static_cast<size_t>(other)];
            if (o.Column != side) continue;
            sum += (order_[static_cast<size_t>(other)] + 0.5) / static_cast<double>(columns_[static_cast<size_t>(side)].size());
            ++count;
          }
          item.Key = count ? sum / count : (order_[static_cast<size_t>(id)] + 0.5) / static_cast<double>(column.size());
        }
        std::stable_sort(column.begin(), column.end(), [&](int32_t a, int32_t b) {
          return items_[static_cast<size_t>(a)].Key < items_[static_cast<size_t>(b)].Key;
        });
        Renumber();
      }
      const int64_t crossings = Crossings();
      if (crossings < fewest) {
        fewest = crossings;
        best = columns_;
      }
    }
    columns_ = best;
    Renumber();
  }

  // Heights: every item as near the mean of its neighbours as the order and the bands allow.
  void PlaceRows() {
    for (auto& column : columns_) {
      double y = 0;
      for (size_t k = 0; k < column.size(); ++k) {
        Item& item = items_[static_cast<size_t>(column[k])];
        if (k > 0) y += items_[static_cast<size_t>(column[k - 1])].Bottom + item.Top;
        item.Y = y;
      }
      for (int32_t id : column) items_[static_cast<size_t>(id)].Y -= y / 2;
    }
    for (int round = 0; round < 16; ++round) {
      for (size_t k = 0; k < columns_.size(); ++k) {
        const size_t c = round % 2 == 0 ? k : columns_.size() - 1 - k;
        auto& column = columns_[c];
        std::vector<double> wanted, weight;
        for (int32_t id : column) {
          const Item& item = items_[static_cast<size_t>(id)];
          double sum = 0;
          for (int32_t other : item.Neighbours) sum += items_[static_cast<size_t>(other)].Y;
          wanted.push_back(item.Neighbours.empty() ? item.Y : sum / static_cast<double>(item.Neighbours.size()));
          weight.push_back(std::max<double>(1.0, static_cast<double>(item.Neighbours.size())));
        }
        if (c == 0) {
          // The inputs stay evenly stacked; the column only moves as a whole.
          double shift = 0;
          for (size_t i = 0; i < column.size(); ++i) shift += wanted[i] - items_[static_cast<size_t>(column[i])].Y;
          for (int32_t id : column) items_[static_cast<size_t>(id)].Y += shift / static_cast<double>(column.size());
          continue;
        }
        Spread(column, wanted, weight);
      }
    }
  }

  // Least-squares heights for one column that keep its order and its bands apart: pooled
  // adjacent violators on the heights less the bands above each item.
  void Spread(const std::vector<int32_t>& column, const std::vector<double>& wanted,
              const std::vector<double>& weight) {
    std::vector<double> offset(column.size(), 0.0);
    for (size_t i = 1; i < column.size(); ++i)
      offset[i] = offset[i - 1] + items_[static_cast<size_t>(column[i - 1])].Bottom + items_[static_cast<size_t>(column[i])].Top;
    struct Block {
      double Sum, Weight;
      size_t Count;
    };
    std::vector<Block> blocks;
    for (size_t i = 0; i < column.size(); ++i) {
      blocks.push_back({(wanted[i] - offset[i]) * weight[i], weight[i], 1});
      while (blocks.size() > 1) {
        const Block& b = blocks.back();
        Block& a = blocks[blocks.size() - 2];
        if (a.Sum / a.Weight <= b.Sum / b.Weight) break;
        a = {a.Sum + b.Sum, a.Weight + b.Weight, a.Count + b.Count};
        blocks.pop_back();
      }
    }
    size_t i = 0;
    for (const Block& b : blocks)
      for (size_t k = 0; k < b.Count; ++k, ++i) items_[static_cast<size_t>(column[i])].Y = b.Sum / b.Weight + offset[i];
  }

  void PlaceColumns() {
    const size_t count = columns_.size();
    left_.assign(count, 0);
    right_.assign(count, 0);
    std::vector<int32_t> curls(count, 0);
    for (size_t i = 0; i < layout_.Nodes.size(); ++i) {
      const LayoutNode& n = layout_.Nodes[i];
      const auto c = static_cast<size_t>(n.Column);
      double half = n.Radius;
      for (const std::string& line : info_[i].Below) half = std::max(half, Width(line, kLabelSize, false) / 2);
      right_[c] = std::max(right_[c], half + kColumnPad);
      double leftHalf = half;
      if (n.Kind == LayoutNodeKind::Input && !n.Name.empty())
        leftHalf = std::max(leftHalf, n.Radius + 5 + Width(n.Name, kLabelSize, false));
      left_[c] = std::max(left_[c], leftHalf + kColumnPad);
    }
    // Connections within a column curl out to its right, the shortest innermost.
    for (size_t c = 0; c < count; ++c) {
      std::vector<size_t> within;
      for (size_t k = 0; k < routes_.size(); ++k)
        if (routes_[k].Kind == Route::SameColumn &&
            items_[static_cast<size_t>(routes_[k].Chain[0])].Column == static_cast<int32_t>(c))
          within.push_back(k);
      std::stable_sort(within.begin(), within.end(), [&](size_t a, size_t b) { return Span(a) < Span(b); });
      for (size_t k = 0; k < within.size(); ++k) routes_[within[k]].Lane = static_cast<int32_t>(k);
      curls[c] = static_cast<int32_t>(within.size());
    }
    x_.assign(count, 0);
    for (size_t c = 0; c < count; ++c) {
      x_[c] = c == 0 ? left_[0] : x_[c - 1] + right_[c - 1] + CurlRoom(curls[c - 1]) + kCurveGap + extraGap_ + left_[c];
    }
    for (size_t i = 0; i < layout_.Nodes.size(); ++i) {
      LayoutNode& n = layout_.Nodes[i];
      n.Centre = {x_[static_cast<size_t>(n.Column)], items_[static_cast<size_t>(info_[i].Item)].Y};
    }
  }

  static double CurlRoom(int32_t curls) { return curls > 0 ? 20 + kLaneStep * curls : 0.0; }

  double Span(size_t k) const {
    return std::fabs(items_[static_cast<size_t>(routes_[k].Chain[0])].Y - items_[static_cast<size_t>(routes_[k].Chain[1])].Y);
  }

  double RightEdge(int32_t column) const { return x_[static_cast<size_t>(column)] + right_[static_cast<size_t>(column)]; }
  double LeftEdge(int32_t column) const { return x_[static_cast<size_t>(column)] - left_[static_cast<size_t>(column)]; }

  // Ports: each side's connections stand one above the other in the order of the heights they
  // go to first, so the lines leaving one side do not cross near the node.
  void AssignPorts() {
    for (size_t i = 0; i < layout_.Nodes.size(); ++i) {
      const int32_t self = info_[i].Item;
      for (auto* side : {&info_[i].Left, &info_[i].Right}) {
        for (Port& p : *side) {
          const auto& chain = routes_[static_cast<size_t>(p.Connection)].Chain;
          // The chain's neighbour of this node (a curl's other end is the other node).
          const int32_t next = chain.front() == self ? chain[1] : chain[chain.size() - 2];
          p.Toward = items_[static_cast<size_t>(next)].Y;
        }
        std::stable_sort(side->begin(), side->end(), [](const Port& a, const Port& b) { return a.Toward < b.Toward; });
        for (size_t k = 0; k < side->size(); ++k)
          (*side)[k].Dy = (static_cast<double>(k) - static_cast<double>(side->size() - 1) / 2) * kPortSpacing;
      }
    }
  }

  LayoutPoint PortPoint(size_t node, int32_t connection, bool rightSide) const {
    const LayoutNode& n = layout_.Nodes[node];
    for (const Port& p : rightSide ? info_[node].Right : info_[node].Left) {
      if (p.Connection != connection) continue;
      const double dx = std::sqrt(std::max(0.0, n.Radius * n.Radius - p.Dy * p.Dy));
      return {n.Centre.X + (rightSide ? dx : -dx), n.Centre.Y + p.Dy};
    }
    return n.Centre;
  }

  void DrawConnections() {
    AssignPorts();
    for (size_t k = 0; k < layout_.Connections.size(); ++k) {
      LayoutConnection& lc = layout_.Connections[k];
      const Routing& r = routes_[k];
      auto& path = lc.Path;
      const int32_t id = static_cast<int32_t>(k);
      const auto from = static_cast<size_t>(NodeIndex(lc.FromNode));
      const auto to = static_cast<size_t>(NodeIndex(lc.ToNode));
      switch (r.Kind) {
        case Route::Dangling: {
          // An end the genome does not hold: a stub at the end it does, so the fault shows.
          const int32_t known = NodeIndex(lc.FromNode) >= 0 ? NodeIndex(lc.FromNode) : NodeIndex(lc.ToNode);
          const LayoutPoint p = known >= 0 ? layout_.Nodes[static_cast<size_t>(known)].Centre : LayoutPoint{0, 0};
          const double r0 = known >= 0 ? layout_.Nodes[static_cast<size_t>(known)].Radius : 0.0;
          path = {{p.X + r0 * 0.7, p.Y - r0 * 0.7}};
          LineTo(path, {p.X + r0 * 0.7 + 14, p.Y - r0 * 0.7 - 14});
          lc.Arrow = ArrowAt({path.back().X + 6.4, path.back().Y - 6.4}, 0.7071, -0.7071);
          break;
        }
        case Route::SelfLoop: {
          auto [loop, arrow] = Loop(layout_.Nodes[from], r.Lane);
          path = std::move(loop);
          lc.Arrow = arrow;
          break;
        }
        case Route::SameColumn: {
          const LayoutPoint a = PortPoint(from, id, true), b = PortPoint(to, id, true);
          const double edge = RightEdge(layout_.Nodes[from].Column);
          const double reach = (20 + kLaneStep * r.Lane) * 4 / 3;  // the curl's depth is 3/4 of it
          path = {a};
          LineTo(path, {edge, a.Y});
          path.push_back({edge + reach, a.Y});
          path.push_back({edge + reach, b.Y});
          path.push_back({edge, b.Y});
          LineTo(path, {b.X + kArrowLength, b.Y});
          lc.Arrow = ArrowAt(b, -1, 0);
          break;
        }
        case Route::Forward:
        case Route::Backward: {
          const bool forward = r.Kind == Route::Forward;
          const LayoutPoint a = PortPoint(from, id, forward), b = PortPoint(to, id, !forward);
          const auto exitEdge = [&](int32_t column) { return forward ? RightEdge(column) : LeftEdge(column); };
          const auto entryEdge = [&](int32_t column) { return forward ? LeftEdge(column) : RightEdge(column); };
          path = {a};
          LineTo(path, {exitEdge(layout_.Nodes[from].Column), a.Y});
          for (size_t s = 1; s + 1 < r.Chain.size(); ++s) {
            const Item& pass = items_[static_cast<size_t>(r.Chain[s])];
            CurveTo(path, {entryEdge(pass.Column), pass.Y});
            LineTo(path, {exitEdge(pass.Column), pass.Y});
          }
          CurveTo(path, {entryEdge(layout_.Nodes[to].Column), b.Y});
          const double direction = forward ? 1 : -1;
          LineTo(path, {b.X - direction * kArrowLength, b.Y});
          lc.Arrow = ArrowAt(b, direction, 0);
          break;
        }
      }
      flat_.push_back(FlattenPath(path, 12));
    }
  }

  void LabelNodes() {
    for (size_t i = 0; i < layout_.Nodes.size(); ++i) {
      const LayoutNode& n = layout_.Nodes[i];
      const std::string number = std::to_string(n.Number);
      LayoutLabel num = MakeLabel(LabelKind::Number, number, kNumberSize, true, LabelAlign::Middle, n.Centre.X,
                                  n.Centre.Y - LineHeight(kNumberSize) / 2, Width(number, kNumberSize, true));
      num.Node = n.Number;
      layout_.Labels.push_back(num);
      if (n.Kind == LayoutNodeKind::Input && !n.Name.empty()) {
        LayoutLabel name = MakeLabel(LabelKind::Name, n.Name, kLabelSize, false, LabelAlign::End,
                                     n.Centre.X - n.Radius - 5, n.Centre.Y - LineHeight(kLabelSize) / 2,
                                     Width(n.Name, kLabelSize, false));
        name.Node = n.Number;
        layout_.Labels.push_back(name);
      }
      double top = n.Centre.Y + n.Radius + 3;
      for (size_t line = 0; line < info_[i].Below.size(); ++line) {
        const std::string& text = info_[i].Below[line];
        const bool isName = line + 1 < info_[i].Below.size();
        LayoutLabel l = MakeLabel(isName ? LabelKind::Name : LabelKind::TransferFunction, text, kLabelSize,
                                  false, LabelAlign::Middle, n.Centre.X, top, Width(text, kLabelSize, false));
        l.Node = n.Number;
        layout_.Labels.push_back(l);
        top += LineHeight(kLabelSize) + 1;
      }
    }
  }

  // Nothing a delay mark may touch: nodes, labels, arrowheads, self-loops and curls.
  bool Blocked(const LayoutBox& box, size_t own) const {
    for (const LayoutNode& n : layout_.Nodes)
      if (CircleTouchesBox(n.Centre, n.Radius + 1, box)) return true;
    for (const LayoutLabel& l : layout_.Labels)
      if (l.Box.Intersects(box)) return true;
    for (size_t k = 0; k < layout_.Connections.size(); ++k) {
      const LayoutConnection& c = layout_.Connections[k];
      const LayoutArrow& a = c.Arrow;
      const LayoutBox arrow{std::min({a.Tip.X, a.BaseLeft.X, a.BaseRight.X}), std::min({a.Tip.Y, a.BaseLeft.Y, a.BaseRight.Y}),
                            std::max({a.Tip.X, a.BaseLeft.X, a.BaseRight.X}), std::max({a.Tip.Y, a.BaseLeft.Y, a.BaseRight.Y})};
      if (arrow.Intersects(box)) return true;
      const Route kind = routes_[k].Kind;
      if (k != own && (kind == Route::SelfLoop || kind == Route::SameColumn) &&
          PolylineTouchesBox(flat_[k], c.Width / 2 + 1, box))
        return true;
    }
    return false;
  }

  // Each delay mark goes where its connection's path is free of everything it may not touch,
  // preferring places that other connections do not cross. False when one found no place.
  bool MarkDelays() {
    bool all = true;
    for (size_t k = 0; k < layout_.Connections.size(); ++k) {
      const LayoutConnection& c = layout_.Connections[k];
      if (c.Delay <= 0) continue;
      const std::string text = "d" + std::to_string(c.Delay);
      const double w = Width(text, kDelaySize, true) + 2, h = LineHeight(kDelaySize);
      const auto labelAt = [&](LayoutPoint p) {
        LayoutLabel l = MakeLabel(LabelKind::Delay, text, kDelaySize, true, LabelAlign::Middle, p.X, p.Y - h / 2, w);
        l.Connection = c.InnovationNumber;
        return l;
      };
      if (routes_[k].Kind == Route::SelfLoop) {
        // Above the loop, in the room its node's band keeps for it.
        const double apex = std::min_element(flat_[k].begin(), flat_[k].end(), [](LayoutPoint a, LayoutPoint b) { return a.Y < b.Y; })->Y;
        layout_.Labels.push_back(labelAt({layout_.Nodes[static_cast<size_t>(NodeIndex(c.FromNode))].Centre.X, apex - c.Width / 2 - 1 - h / 2}));
        continue;
      }
      double bestCost = 1e300;
      LayoutLabel best;
      const size_t segments = (c.Path.size() - 1) / 3;
      for (size_t s = 0; s < segments; ++s) {
        for (double t : {0.5, 0.35, 0.65, 0.2, 0.8, 0.1, 0.9}) {
          const LayoutLabel l = labelAt(Bezier(&c.Path[3 * s], t));
          if (Blocked(l.Box, k)) continue;
          double cost = std::fabs(t - 0.5) + std::fabs(static_cast<double>(s) - static_cast<double>(segments) / 2) * 0.01;
          for (size_t o = 0; o < flat_.size(); ++o)
            if (o != k && PolylineTouchesBox(flat_[o], 1, l.Box)) cost += 10;
          if (cost < bestCost) {
            bestCost = cost;
            best = l;
          }
        }
      }
      if (bestCost == 1e300) {
        all = false;
        best = labelAt(Bezier(&c.Path[3 * (segments / 2)], 0.5));
      }
      layout_.Labels.push_back(best);
    }
    return all;
  }

  // The title above, the legend below, and everything moved into the box from the origin.
  void Frame() {
    LayoutBox box{1e300, 1e300, -1e300, -1e300};
    const auto grow = [&](const LayoutBox& b) {
      box = {std::min(box.Left, b.Left), std::min(box.Top, b.Top), std::max(box.Right, b.Right),
             std::max(box.Bottom, b.Bottom)};
    };
    for (const LayoutNode& n : layout_.Nodes)
      grow({n.Centre.X - n.Radius - 1, n.Centre.Y - n.Radius - 1, n.Centre.X + n.Radius + 1, n.Centre.Y + n.Radius + 1});
    for (const LayoutLabel& l : layout_.Labels) grow(l.Box);
    for (size_t k = 0; k < layout_.Connections.size(); ++k) {
      const double half = layout_.Connections[k].Width / 2;
      for (const LayoutPoint& p : flat_[k]) grow({p.X - half, p.Y - half, p.X + half, p.Y + half});
      const LayoutArrow& a = layout_.Connections[k].Arrow;
      for (const LayoutPoint& p : {a.Tip, a.BaseLeft, a.BaseRight}) grow({p.X, p.Y, p.X, p.Y});
    }
    if (layout_.Nodes.empty()) box = {0, 0, 200, 0};
    const double centre = (box.Left + box.Right) / 2;
    if (!options_.Title.empty()) {
      const double h = LineHeight(kTitleSize);
      layout_.Labels.push_back(MakeLabel(LabelKind::Title, options_.Title, kTitleSize, true, LabelAlign::Middle,
                                         centre, box.Top - 14 - h, Width(options_.Title, kTitleSize, true)));
      grow(layout_.Labels.back().Box);
    }
    if (options_.Legend) {
      const std::vector<std::pair<const char*, int>> first = {
          {"positive weight", 0}, {"negative weight", 1}, {"disabled", 2}, {"thickness: |weight|", -1}};
      const std::vector<const char*> second = {"right to left, or curling out: recurrent", "dN: delay of N steps"};
      const double sample = 28, gap = 20, h = LineHeight(kLabelSize);
      double rowWidth = 0;
      for (const auto& [text, kind] : first) rowWidth += (kind >= 0 ? sample + 6 : 0) + Width(text, kLabelSize, false) + gap;
      double x = centre - (rowWidth - gap) / 2;
      const double y = box.Bottom + 18;
      for (const auto& [text, kind] : first) {
        if (kind >= 0) {
          layout_.Legend.push_back({{x, y + h / 2}, {x + sample, y + h / 2}, kind != 1, kind != 2});
          x += sample + 6;
        }
        const double w = Width(text, kLabelSize, false);
        layout_.Labels.push_back(MakeLabel(LabelKind::Legend, text, kLabelSize, false, LabelAlign::Start, x, y, w));
        grow(layout_.Labels.back().Box);
        grow({x - sample - 6, y, x, y + h});
        x += w + gap;
      }
      double secondWidth = 0;
      for (const char* text : second) secondWidth += Width(text, kLabelSize, false) + gap;
      x = centre - (secondWidth - gap) / 2;
      for (const char* text : second) {
        const double w = Width(text, kLabelSize, false);
        layout_.Labels.push_back(MakeLabel(LabelKind::Legend, text, kLabelSize, false, LabelAlign::Start, x,
                                           y + h + 6, w));
        grow(layout_.Labels.back().Box);
        x += w + gap;
      }
    }
    ScaleLayout(layout_, 1.0, kMargin - box.Left, kMargin - box.Top);
    layout_.Width = std::ceil(box.Right - box.Left + 2 * kMargin);
    layout_.Height = std::ceil(box.Bottom - box.Top + 2 * kMargin);
  }

  const TGenotype& g_;
  const LayoutOptions& options_;
  double extraGap_;
  TextMeasure measure_;
  NetworkLayout layout_;
  std::map<int32_t, int32_t> index_;  // node number -> index
  std::vector<NodeInfo> info_;        // by node index
  std::vector<Item> items_;
  std::vector<std::vector<int32_t>> columns_;
  std::vector<int32_t> order_;        // by item: its place in its column
  std::vector<Routing> routes_;       // by connection index
  std::vector<std::vector<LayoutPoint>> flat_;
  std::vector<double> x_, left_, right_;  // by column: centre and extents
};

}  // namespace

double DejaVuSansWidth(std::string_view text, double size, bool bold) {
  const uint16_t* advance = bold ? kBoldAdvance : kRegularAdvance;
  double units = 0;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 1;
    uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (size_t k = 1; k < length && i + k < text.size(); ++k)
      code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    i += length;
    if (code >= 32 && code < 127) units += advance[code - 32];
    else if (code < 32 || (code >= 0x300 && code < 0x370)) continue;  // controls, combining marks
    else units += code < 0x2000 ? 1500 : 2048;
  }
  return units / 2048 * size;
}

NetworkLayout LayoutGenotype(const TGenotype& genotype, const LayoutOptions& options) {
  NetworkLayout layout;
  // A crowded gap leaves a delay mark without a free place: widen the gaps and lay out again.
  for (int attempt = 0; attempt < 6; ++attempt) {
    if (Layouter(genotype, options, 50.0 * attempt).Run(layout)) break;
  }
  return layout;
}

void ScaleLayout(NetworkLayout& layout, double factor, double dx, double dy) {
  const auto move = [&](LayoutPoint& p) { p = {p.X * factor + dx, p.Y * factor + dy}; };
  layout.Width *= factor;
  layout.Height *= factor;
  for (LayoutNode& n : layout.Nodes) {
    move(n.Centre);
    n.Radius *= factor;
  }
  for (LayoutConnection& c : layout.Connections) {
    for (LayoutPoint& p : c.Path) move(p);
    move(c.Arrow.Tip);
    move(c.Arrow.BaseLeft);
    move(c.Arrow.BaseRight);
    c.Width *= factor;
  }
  for (LayoutLabel& l : layout.Labels) {
    move(l.Baseline);
    LayoutPoint a{l.Box.Left, l.Box.Top}, b{l.Box.Right, l.Box.Bottom};
    move(a);
    move(b);
    l.Box = {a.X, a.Y, b.X, b.Y};
    l.Size *= factor;
  }
  for (LegendSample& s : layout.Legend) {
    move(s.From);
    move(s.To);
  }
}

std::vector<LayoutPoint> FlattenPath(const std::vector<LayoutPoint>& path, int perSegment) {
  std::vector<LayoutPoint> out;
  if (path.empty()) return out;
  out.push_back(path[0]);
  for (size_t s = 0; s + 3 < path.size(); s += 3)
    for (int k = 1; k <= perSegment; ++k) out.push_back(Bezier(&path[s], static_cast<double>(k) / perSegment));
  return out;
}

}  // namespace qf::io
