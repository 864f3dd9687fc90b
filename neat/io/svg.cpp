#include "neat/io/svg.h"

#include <cstdio>
#include <string>

#include "neat/io/build.h"

namespace qf::io {

namespace {

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

std::string Point(LayoutPoint p) { return Num(p.X) + "," + Num(p.Y); }

const char* Colour(bool positive, bool enabled) {
  return !enabled ? kDisabled : positive ? kPositive : kNegative;
}

std::string Text(const LayoutLabel& l, const char* cls, const char* fill, bool halo) {
  const char* anchor = l.Align == LabelAlign::Start ? "start" : l.Align == LabelAlign::Middle ? "middle" : "end";
  std::string s = std::string("  <text class=\"") + cls + "\" x=\"" + Num(l.Baseline.X) + "\" y=\"" +
                  Num(l.Baseline.Y) + "\" text-anchor=\"" + anchor + "\" font-size=\"" + Num(l.Size) + "\"";
  if (l.Bold) s += " font-weight=\"bold\"";
  s += std::string(" fill=\"") + fill + "\"";
  if (halo) s += " stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"";
  return s + ">" + Escape(l.Text) + "</text>\n";
}

}  // namespace

std::string DrawGenotypeSvg(const TGenotype& genotype, const SvgOptions& options) {
  const NetworkLayout layout = LayoutGenotype(genotype, options);
  std::string s;
  s.reserve(4096 + 768 * (layout.Nodes.size() + layout.Connections.size()));
  s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(layout.Width) + "\" height=\"" +
       Num(layout.Height) + "\" viewBox=\"0 0 " + Num(layout.Width) + " " + Num(layout.Height) +
       "\" font-family=\"DejaVu Sans, Verdana, sans-serif\">\n";
  s += "<rect class=\"background\" x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";

  // Connections first, so the nodes sit on top of their ends.
  s += "<g class=\"connections\">\n";
  for (const LayoutConnection& c : layout.Connections) {
    const char* colour = Colour(!(c.Weight < 0), c.Enabled);
    s += "  <path class=\"connection";
    if (!c.Enabled) s += " disabled";
    if (c.SelfLoop) s += " self-loop";
    else if (c.Recurrent) s += " recurrent";
    s += "\" id=\"connection-" + std::to_string(c.InnovationNumber) + "\" d=\"M" + Point(c.Path[0]);
    for (size_t i = 1; i + 2 < c.Path.size(); i += 3)
      s += " C" + Point(c.Path[i]) + " " + Point(c.Path[i + 1]) + " " + Point(c.Path[i + 2]);
    s += "\" fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"" + Num(c.Width) + "\"";
    if (!c.Enabled) s += " stroke-dasharray=\"6,4\"";
    else if (c.Recurrent) s += " stroke-opacity=\"0.75\"";
    s += "><title>connection " + std::to_string(c.InnovationNumber) + ": " + std::to_string(c.FromNode) +
         " to " + std::to_string(c.ToNode) + ", weight " + Weight(c.Weight) + ", delay " +
         std::to_string(c.Delay) + (c.Enabled ? "" : ", disabled") + (c.Recurrent ? ", recurrent" : "") +
         "</title></path>\n";
    s += "  <polygon class=\"arrow\" points=\"" + Point(c.Arrow.Tip) + " " + Point(c.Arrow.BaseLeft) + " " +
         Point(c.Arrow.BaseRight) + "\" fill=\"" + colour + "\"/>\n";
  }
  s += "</g>\n<g class=\"nodes\">\n";
  for (const LayoutNode& n : layout.Nodes) {
    const char* kind = n.Kind == LayoutNodeKind::Input ? "input" : n.Kind == LayoutNodeKind::Output ? "output" : "hidden";
    const char* fill = n.Kind == LayoutNodeKind::Input ? "#dcebfa" : n.Kind == LayoutNodeKind::Output ? "#fde3c8" : "#eeeeee";
    const char* edge = n.Kind == LayoutNodeKind::Input ? "#4a7fb5" : n.Kind == LayoutNodeKind::Output ? "#c7772b" : "#777777";
    s += "  <circle class=\"node " + std::string(kind) + "\" id=\"node-" + std::to_string(n.Number) + "\" cx=\"" +
         Num(n.Centre.X) + "\" cy=\"" + Num(n.Centre.Y) + "\" r=\"" + Num(n.Radius) + "\" fill=\"" + fill +
         "\" stroke=\"" + edge + "\" stroke-width=\"2\"><title>node " + std::to_string(n.Number) +
         (n.Name.empty() ? "" : " " + Escape(n.Name)) + " (" + kind + "), " + Escape(n.TransferFunction) +
         ", depth " + Weight(n.Depth) + "</title></circle>\n";
  }
  s += "</g>\n<g class=\"labels\">\n";
  for (const LayoutLabel& l : layout.Labels) {
    switch (l.Kind) {
      case LabelKind::Number: s += Text(l, "number", "#222", false); break;
      case LabelKind::Name: s += Text(l, "name", "#111", true); break;
      case LabelKind::TransferFunction: s += Text(l, "function", "#555", true); break;
      case LabelKind::Delay: {
        const LayoutConnection* c = nullptr;
        for (const LayoutConnection& k : layout.Connections)
          if (k.InnovationNumber == l.Connection) c = &k;
        s += Text(l, "delay", c ? Colour(!(c->Weight < 0), c->Enabled) : "#222", true);
        break;
      }
      case LabelKind::Title: s += Text(l, "title", "#222", false); break;
      case LabelKind::Legend: s += Text(l, "legend", "#444", false); break;
    }
  }
  for (const LegendSample& sample : layout.Legend) {
    s += "  <line class=\"legend\" x1=\"" + Num(sample.From.X) + "\" y1=\"" + Num(sample.From.Y) + "\" x2=\"" +
         Num(sample.To.X) + "\" y2=\"" + Num(sample.To.Y) + "\" stroke=\"" + Colour(sample.Positive, sample.Enabled) +
         "\" stroke-width=\"3\"" + (sample.Enabled ? "" : " stroke-dasharray=\"6,4\"") + "/>\n";
  }
  s += "</g>\n</svg>\n";
  return s;
}

void WriteGenotypeSvg(const TGenotype& genotype, const std::filesystem::path& file,
                      const SvgOptions& options) {
  WriteFileAtomically(file, DrawGenotypeSvg(genotype, options));
}

}  // namespace qf::io
