#include "neat/io/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "neat/genotype.h"
#include "neat/io/build.h"
#include "neat/population.h"
#include "neat/transfer_functions.h"

namespace qf::io {

namespace {

constexpr double kRadius = 17.0;
constexpr double kColumnGap = 170.0;
constexpr double kRowGap = 78.0;
constexpr double kMargin = 60.0;
constexpr double kTitleHeight = 34.0;
constexpr double kLegendHeight = 44.0;
constexpr const char* kPositive = "#1f6fc5";
constexpr const char* kNegative = "#d0342c";
constexpr const char* kDisabled = "#9a9a9a";

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') out.push_back(c);
    }
  }
  return out;
}

std::string Num(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", v);
  return buffer;
}

std::string Weight(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4g", v);
  return buffer;
}

struct Point {
  double X, Y;
};

// A point moved from `from` toward `to` by distance d.
Point Toward(Point from, Point to, double d) {
  const double dx = to.X - from.X, dy = to.Y - from.Y;
  const double len = std::hypot(dx, dy);
  if (len < 1e-9) return from;
  return {from.X + dx / len * d, from.Y + dy / len * d};
}

}  // namespace

std::string DrawGenotypeSvg(const TGenotype& g, const SvgOptions& options) {
  // Columns: one per distinct depth, in depth order, evenly spaced so that the many levels a
  // run of splits makes near one end do not crowd together.
  std::vector<double> depths;
  for (const TNode* n : g.NodeList) depths.push_back(n->Depth);
  std::sort(depths.begin(), depths.end());
  depths.erase(std::unique(depths.begin(), depths.end()), depths.end());
  std::map<double, std::vector<const TNode*>> columns;
  for (const TNode* n : g.NodeList) columns[n->Depth].push_back(n);  // ascending number
  size_t rows = 1;
  for (const auto& [depth, nodes] : columns) rows = std::max(rows, nodes.size());

  const double top = kMargin + (options.Title.empty() ? 0.0 : kTitleHeight);
  const double columnsWidth = depths.empty() ? 0.0 : (static_cast<double>(depths.size()) - 1) * kColumnGap;
  const double rowsHeight = (static_cast<double>(rows) - 1) * kRowGap;
  // Wide enough for the columns, the title (about 9.5 px a character) and the legend.
  const double width = std::max({2 * kMargin + columnsWidth,
                                 static_cast<double>(options.Title.size()) * 9.5 + 40.0,
                                 options.Legend ? 660.0 : 200.0});
  const double height = top + rowsHeight + kMargin + (options.Legend ? kLegendHeight : 0.0) + 12;

  std::map<int32_t, Point> at;
  const double left = (width - columnsWidth) / 2;
  for (size_t c = 0; c < depths.size(); ++c) {
    auto& nodes = columns[depths[c]];
    // Hidden nodes stand in the order of the mean height of what feeds them from the columns
    // already placed, which uncrosses most lines; inputs and outputs keep their numbers' order.
    if (c > 0 && c + 1 < depths.size()) {
      std::map<int32_t, double> key;
      for (const TNode* n : nodes) {
        double sum = 0.0;
        int count = 0;
        for (const TConnect* link : g.ConnectList) {
          const auto from = at.find(link->FromNode);
          if (link->ToNode != n->Number || !link->Enabled || from == at.end()) continue;
          sum += from->second.Y;
          ++count;
        }
        key[n->Number] = count ? sum / count : 1e9;
      }
      std::stable_sort(nodes.begin(), nodes.end(), [&](const TNode* a, const TNode* b) {
        return key[a->Number] < key[b->Number];
      });
    }
    const double columnHeight = (static_cast<double>(nodes.size()) - 1) * kRowGap;
    for (size_t r = 0; r < nodes.size(); ++r) {
      at[nodes[r]->Number] = {left + static_cast<double>(c) * kColumnGap,
                              top + (rowsHeight - columnHeight) / 2 + static_cast<double>(r) * kRowGap};
    }
  }

  double maxWeight = 0.0;
  for (const TConnect* c : g.ConnectList) {
    if (std::isfinite(c->Weight)) maxWeight = std::max(maxWeight, std::fabs(c->Weight));
  }
  if (g.NEATPopulation) maxWeight = std::max(maxWeight, static_cast<double>(g.NEATPopulation->MaxLinkWeight));
  if (maxWeight <= 0.0) maxWeight = 1.0;

  std::string s;
  s.reserve(4096 + 512 * static_cast<size_t>(g.NodeList.Count() + g.ConnectList.Count()));
  s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(width) + "\" height=\"" +
       Num(height) + "\" viewBox=\"0 0 " + Num(width) + " " + Num(height) +
       "\" font-family=\"DejaVu Sans, Liberation Sans, Arial, sans-serif\">\n";
  s += "<defs>\n";
  for (const auto& [id, colour] : {std::pair{"pos", kPositive}, std::pair{"neg", kNegative},
                                   std::pair{"off", kDisabled}}) {
    s += std::string("  <marker id=\"arrow-") + id +
         "\" viewBox=\"0 0 10 10\" refX=\"9\" refY=\"5\" markerWidth=\"7\" markerHeight=\"7\" "
         "markerUnits=\"userSpaceOnUse\" orient=\"auto\"><path d=\"M0,0 L10,5 L0,10 z\" fill=\"" +
         colour + "\"/></marker>\n";
  }
  s += "</defs>\n";
  s += "<rect class=\"background\" x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  if (!options.Title.empty()) {
    s += "<text class=\"title\" x=\"" + Num(width / 2) + "\" y=\"" + Num(kMargin - 14) +
         "\" text-anchor=\"middle\" font-size=\"16\" font-weight=\"bold\" fill=\"#222\">" +
         Escape(options.Title) + "</text>\n";
  }

  // Connections first, so the nodes sit on top of their ends.
  s += "<g class=\"connections\" fill=\"none\">\n";
  std::string labels;
  for (const TConnect* c : g.ConnectList) {
    const auto from = at.find(c->FromNode);
    const auto to = at.find(c->ToNode);
    const bool selfLoop = c->FromNode == c->ToNode;
    const bool recurrent = c->IsRecurrent();
    const bool positive = !(c->Weight < 0);
    const char* colour = !c->Enabled ? kDisabled : positive ? kPositive : kNegative;
    const char* marker = !c->Enabled ? "off" : positive ? "pos" : "neg";
    const double magnitude = std::isfinite(c->Weight) ? std::min(std::fabs(c->Weight) / maxWeight, 1.0) : 1.0;
    const double strokeWidth = 0.8 + 4.2 * magnitude;

    std::string d;
    Point mid{0, 0};
    if (from == at.end() || to == at.end()) {
      // An end the genome does not hold: drawn as a stub at the existing end, so the shape
      // count still matches and the fault is visible.
      const Point p = from != at.end() ? from->second : to != at.end() ? to->second : Point{kMargin / 2, kMargin / 2};
      d = std::string("M") + Num(p.X) + "," + Num(p.Y - kRadius) + " l0,-24";
      mid = {p.X + 14, p.Y - kRadius - 24};
    } else if (selfLoop) {
      const Point p = from->second;
      const Point a{p.X - 9, p.Y - kRadius + 2};
      const Point b{p.X + 9, p.Y - kRadius + 2};
      d = std::string("M") + Num(a.X) + "," + Num(a.Y) + " C" + Num(p.X - 34) + "," + Num(p.Y - 62) + " " +
          Num(p.X + 34) + "," + Num(p.Y - 62) + " " + Num(b.X) + "," + Num(b.Y);
      mid = {p.X, p.Y - 58};
    } else {
      const Point p = from->second;
      const Point q = to->second;
      const double dx = q.X - p.X, dy = q.Y - p.Y;
      const double len = std::max(std::hypot(dx, dy), 1.0);
      // Recurrent links arc above the columns (or to the right within one column); forward
      // links that skip columns curve gently around the nodes between.
      Point control{(p.X + q.X) / 2, (p.Y + q.Y) / 2};
      if (recurrent) {
        const double bend = std::min(38.0 + 0.22 * len, 90.0);  // the peak stays in the margin
        if (std::fabs(dx) < 1.0) control.X += bend;
        else control.Y -= bend;
      } else if (std::fabs(dx) > kColumnGap * 1.5) {
        const double bend = 0.12 * len;
        control.X += dy / len * bend;
        control.Y -= dx / len * bend;
      }
      const Point start = Toward(p, control, kRadius);
      const Point end = Toward(q, control, kRadius + 1.5);
      d = std::string("M") + Num(start.X) + "," + Num(start.Y) + " Q" + Num(control.X) + "," +
          Num(control.Y) + " " + Num(end.X) + "," + Num(end.Y);
      mid = {(p.X + 2 * control.X + q.X) / 4, (p.Y + 2 * control.Y + q.Y) / 4};
    }
    s += "  <path class=\"connection";
    if (!c->Enabled) s += " disabled";
    if (selfLoop) s += " self-loop";
    else if (recurrent) s += " recurrent";
    s += "\" id=\"connection-" + std::to_string(c->InnovationNumber) + "\" d=\"" + d +
         "\" stroke=\"" + colour + "\" stroke-width=\"" + Num(strokeWidth) + "\"";
    if (!c->Enabled) s += " stroke-dasharray=\"6,4\"";
    else if (recurrent) s += " stroke-opacity=\"0.85\"";
    s += " marker-end=\"url(#arrow-" + std::string(marker) + ")\"><title>connection " +
         std::to_string(c->InnovationNumber) + ": " + std::to_string(c->FromNode) + " to " +
         std::to_string(c->ToNode) + ", weight " + Weight(c->Weight) + ", delay " +
         std::to_string(c->Delay) + (c->Enabled ? "" : ", disabled") +
         (recurrent ? ", recurrent" : "") + "</title></path>\n";
    if (c->Delay > 0) {
      labels += "  <text class=\"delay\" x=\"" + Num(mid.X) + "\" y=\"" + Num(mid.Y + 3) +
                "\" text-anchor=\"middle\" font-size=\"9\" font-weight=\"bold\" fill=\"" +
                colour + "\" stroke=\"#ffffff\" stroke-width=\"2.5\" paint-order=\"stroke\">d" +
                std::to_string(c->Delay) + "</text>\n";
    }
  }
  s += "</g>\n<g class=\"labels\">\n" + labels + "</g>\n";

  s += "<g class=\"nodes\">\n";
  for (const TNode* n : g.NodeList) {
    const Point p = at[n->Number];
    const char* kind = n->IsInput ? "input" : n->IsOutput ? "output" : "hidden";
    const char* fill = n->IsInput ? "#dcebfa" : n->IsOutput ? "#fde3c8" : "#eeeeee";
    const char* edge = n->IsInput ? "#4a7fb5" : n->IsOutput ? "#c7772b" : "#777777";
    const std::string function = n->TransferFunction ? n->TransferFunction->Name : std::string("?");
    s += "  <circle class=\"node " + std::string(kind) + "\" id=\"node-" +
         std::to_string(n->Number) + "\" cx=\"" + Num(p.X) + "\" cy=\"" + Num(p.Y) + "\" r=\"" +
         Num(kRadius) + "\" fill=\"" + fill + "\" stroke=\"" + edge +
         "\" stroke-width=\"2\"><title>node " + std::to_string(n->Number) + " (" + kind +
         "), " + Escape(function) + ", depth " + Weight(n->Depth) + "</title></circle>\n";
    s += "  <text x=\"" + Num(p.X) + "\" y=\"" + Num(p.Y + 5) +
         "\" text-anchor=\"middle\" font-size=\"14\" font-weight=\"bold\" fill=\"#222\">" +
         std::to_string(n->Number) + "</text>\n";
    s += "  <text x=\"" + Num(p.X) + "\" y=\"" + Num(p.Y + kRadius + 14) +
         "\" text-anchor=\"middle\" font-size=\"11\" fill=\"#444\" stroke=\"#ffffff\" "
         "stroke-width=\"3\" paint-order=\"stroke\">" + Escape(function) + "</text>\n";
  }
  s += "</g>\n";

  if (options.Legend) {
    const double y = height - kLegendHeight + 8;
    const double x = width / 2 - 300;
    s += "<g class=\"legend\" font-size=\"11\" fill=\"#444\">\n";
    const struct {
      const char* Colour;
      const char* Dash;
      const char* Text;
    } items[] = {{kPositive, "", "positive weight"},
                 {kNegative, "", "negative weight"},
                 {kDisabled, " stroke-dasharray=\"6,4\"", "disabled"}};
    for (size_t i = 0; i < 3; ++i) {
      const double ix = x + static_cast<double>(i) * 150;
      s += "  <line x1=\"" + Num(ix) + "\" y1=\"" + Num(y) + "\" x2=\"" + Num(ix + 28) + "\" y2=\"" +
           Num(y) + "\" stroke=\"" + items[i].Colour + "\" stroke-width=\"3\"" + items[i].Dash +
           "/>\n  <text x=\"" + Num(ix + 34) + "\" y=\"" + Num(y + 4) + "\">" + items[i].Text +
           "</text>\n";
    }
    s += "  <text x=\"" + Num(x + 450) + "\" y=\"" + Num(y + 4) +
         "\">arc above or beside: recurrent</text>\n";
    s += "  <text x=\"" + Num(x + 450) + "\" y=\"" + Num(y + 22) + "\">dN: delay of N steps</text>\n";
    s += "  <text x=\"" + Num(x) + "\" y=\"" + Num(y + 22) +
         "\">thickness: |weight|; columns: depth, inputs left, outputs right</text>\n";
    s += "</g>\n";
  }
  s += "</svg>\n";
  return s;
}

void WriteGenotypeSvg(const TGenotype& genotype, const std::filesystem::path& file,
                      const SvgOptions& options) {
  WriteFileAtomically(file, DrawGenotypeSvg(genotype, options));
}

}  // namespace qf::io
