// The drawing of a genome: well-formed XML that an XML parser accepts, one shape per node and
// per connection, and the kinds of connection told apart; and its layout readable for the
// densest networks the game breeds: nothing written on top of anything else.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "game/invaders.h"
#include "neat/io/neat_io.h"
#include "neat/io/svg.h"
#include "tests/neat_io/io_test_util.h"

namespace qf::test {
namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// xmllint's verdict on the text: empty when well-formed.
std::string XmlLint(const std::string& text) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("qf-svg-test-" + std::to_string(::getpid()) + ".svg");
  std::ofstream(file) << text;
  std::string out;
  if (FILE* p = ::popen(("xmllint --noout '" + file.string() + "' 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    const int status = ::pclose(p);
    if (status != 0 && out.empty()) out = "xmllint failed (installed? scripts/install-deps)";
  }
  std::filesystem::remove(file);
  return out;
}

TEST(SvgTest, EveryNodeAndConnectionIsOneShapeInWellFormedXml) {
  RegisterGameTransferFunctions();
  CacheHandler().Clear();
  SetRandSeed(5);
  TNEATPopulation pop(nullptr);
  ApplyStoredPopulationSettings(pop);
  pop.OnCalculateFitness = GenomeFitness;
  pop.CreateInitialPopulation();
  for (int i = 0; i < 15; ++i) {
    pop.EvaluateGeneration();
    pop.CreateNextGeneration();
  }
  pop.EvaluateGeneration();
  TGenotype& g = *pop.BestIndividual;
  // Every kind of connection: a self-loop, a recurrent link, a disabled one, a delayed one.
  const auto link = [&](int32_t from, int32_t to, bool enabled, int32_t delay) {
    TConnect* c = CacheHandler().GetConnect(&g);
    c->InnovationNumber = pop.NextInnovation++;
    c->FromNode = from;
    c->ToNode = to;
    c->Weight = -1.5;
    c->Enabled = enabled;
    c->Delay = delay;
    g.AddConnect(c);
  };
  link(8, 8, true, 0);
  link(9, 3, true, 2);
  link(2, 7, false, 0);

  io::SvgOptions options;
  options.Title = "champion <&> \"1\"";
  options.InputNames = {"x1", "θ̇1 <&>"};  // the other inputs keep their numbers only
  options.OutputNames = {"", "force"};
  const std::string svg = io::DrawGenotypeSvg(g, options);
  EXPECT_EQ(XmlLint(svg), "");
  EXPECT_EQ(Count(svg, "<circle class=\"node "), static_cast<size_t>(g.NodeList.Count()));
  EXPECT_EQ(Count(svg, "<path class=\"connection"), static_cast<size_t>(g.ConnectList.Count()));
  EXPECT_EQ(Count(svg, "class=\"connection self-loop\""), 1u);
  EXPECT_GE(Count(svg, "class=\"connection recurrent\""), 1u);
  EXPECT_GE(Count(svg, "class=\"connection disabled"), 1u);
  EXPECT_GE(Count(svg, ">d2</text>"), 1u);
  EXPECT_NE(svg.find("champion &lt;&amp;&gt; &quot;1&quot;"), std::string::npos);
  EXPECT_EQ(Count(svg, "<text class=\"name\""), 3u);
  EXPECT_NE(svg.find(">θ̇1 &lt;&amp;&gt;</text>"), std::string::npos);
  EXPECT_NE(svg.find(">force</text>"), std::string::npos);
  for (const TNode* n : g.NodeList) {
    EXPECT_NE(svg.find("id=\"node-" + std::to_string(n->Number) + "\""), std::string::npos);
    // An input's transfer function is never computed; only the hover text names it.
    if (!n->IsInput) {
      EXPECT_NE(svg.find(">" + n->TransferFunction->Name + "</text>"), std::string::npos);
    }
  }
  CacheHandler().Clear();
}

// ---- Readable layouts ----

using io::LabelKind;
using io::LayoutBox;
using io::LayoutPoint;

bool Inside(LayoutPoint p, const LayoutBox& b, double grow) {
  return p.X > b.Left - grow && p.X < b.Right + grow && p.Y > b.Top - grow && p.Y < b.Bottom + grow;
}

// Separating axes of two triangles: true when their interiors overlap.
bool TrianglesOverlap(const io::LayoutArrow& a, const io::LayoutArrow& b) {
  const LayoutPoint pa[3] = {a.Tip, a.BaseLeft, a.BaseRight}, pb[3] = {b.Tip, b.BaseLeft, b.BaseRight};
  for (const LayoutPoint* poly : {pa, pb}) {
    for (int i = 0; i < 3; ++i) {
      const double nx = poly[(i + 1) % 3].Y - poly[i].Y, ny = poly[i].X - poly[(i + 1) % 3].X;
      double minA = 1e300, maxA = -1e300, minB = 1e300, maxB = -1e300;
      for (int k = 0; k < 3; ++k) {
        minA = std::min(minA, pa[k].X * nx + pa[k].Y * ny);
        maxA = std::max(maxA, pa[k].X * nx + pa[k].Y * ny);
        minB = std::min(minB, pb[k].X * nx + pb[k].Y * ny);
        maxB = std::max(maxB, pb[k].X * nx + pb[k].Y * ny);
      }
      if (maxA <= minB + 1e-9 || maxB <= minA + 1e-9) return false;
    }
  }
  return true;
}

std::string Describe(const io::LayoutLabel& l) { return "label \"" + l.Text + "\""; }

// Everything a reader would see written over something else: labels on labels, on nodes, on
// self-loops or curls within a column; connections through a node's labels or through other
// nodes; arrowheads on arrowheads or on labels; anything outside the picture.
std::vector<std::string> Overlaps(const io::NetworkLayout& l) {
  std::vector<std::string> found;
  const LayoutBox picture{0, 0, l.Width, l.Height};
  std::vector<std::vector<LayoutPoint>> flat;
  std::vector<LayoutBox> around;  // each path's bounding box, grown by its width
  for (const auto& c : l.Connections) {
    flat.push_back(io::FlattenPath(c.Path, 1));
    LayoutBox b{1e300, 1e300, -1e300, -1e300};
    std::vector<LayoutPoint> points = flat.back();
    points.insert(points.end(), {c.Arrow.Tip, c.Arrow.BaseLeft, c.Arrow.BaseRight});
    for (const LayoutPoint& p : points)
      b = {std::min(b.Left, p.X - c.Width), std::min(b.Top, p.Y - c.Width), std::max(b.Right, p.X + c.Width), std::max(b.Bottom, p.Y + c.Width)};
    around.push_back(b);
  }
  const auto node = [&](int32_t number) {
    return std::find_if(l.Nodes.begin(), l.Nodes.end(), [&](const auto& n) { return n.Number == number; });
  };
  const auto isLoop = [&](const io::LayoutConnection& c) {
    return c.SelfLoop || (!c.Dangling && node(c.FromNode)->Column == node(c.ToNode)->Column);
  };
  const auto circleMeetsBox = [](const io::LayoutNode& n, const LayoutBox& b) {
    const double x = std::clamp(n.Centre.X, b.Left, b.Right), y = std::clamp(n.Centre.Y, b.Top, b.Bottom);
    return std::hypot(n.Centre.X - x, n.Centre.Y - y) < n.Radius;
  };
  const auto arrowBox = [](const io::LayoutArrow& a) {
    return LayoutBox{std::min({a.Tip.X, a.BaseLeft.X, a.BaseRight.X}), std::min({a.Tip.Y, a.BaseLeft.Y, a.BaseRight.Y}),
                     std::max({a.Tip.X, a.BaseLeft.X, a.BaseRight.X}), std::max({a.Tip.Y, a.BaseLeft.Y, a.BaseRight.Y})};
  };
  for (size_t i = 0; i < l.Labels.size(); ++i) {
    const io::LayoutLabel& a = l.Labels[i];
    if (!Inside({a.Box.Left, a.Box.Top}, picture, 0.01) || !Inside({a.Box.Right, a.Box.Bottom}, picture, 0.01))
      found.push_back(Describe(a) + " outside the picture");
    for (size_t j = i + 1; j < l.Labels.size(); ++j)
      if (a.Box.Intersects(l.Labels[j].Box)) found.push_back(Describe(a) + " on " + Describe(l.Labels[j]));
    for (const auto& n : l.Nodes)
      if (!(a.Kind == LabelKind::Number && a.Node == n.Number) && circleMeetsBox(n, a.Box))
        found.push_back(Describe(a) + " on node " + std::to_string(n.Number));
    const bool nodeLabel = a.Kind == LabelKind::Number || a.Kind == LabelKind::Name || a.Kind == LabelKind::TransferFunction;
    for (size_t k = 0; k < l.Connections.size(); ++k) {
      const auto& c = l.Connections[k];
      if (c.Dangling || !(nodeLabel || isLoop(c)) || (a.Kind == LabelKind::Delay && a.Connection == c.InnovationNumber)) continue;
      if (!around[k].Intersects(a.Box)) continue;
      if (std::any_of(flat[k].begin(), flat[k].end(), [&](LayoutPoint p) { return Inside(p, a.Box, c.Width / 2); }))
        found.push_back(Describe(a) + " crossed by connection " + std::to_string(c.InnovationNumber));
      if (arrowBox(c.Arrow).Intersects(a.Box))
        found.push_back(Describe(a) + " under the arrowhead of connection " + std::to_string(c.InnovationNumber));
    }
  }
  for (size_t k = 0; k < l.Connections.size(); ++k) {
    const auto& c = l.Connections[k];
    if (c.Dangling) continue;
    for (const auto& n : l.Nodes) {
      if (n.Number == c.FromNode || n.Number == c.ToNode) continue;
      if (!around[k].Intersects({n.Centre.X - n.Radius, n.Centre.Y - n.Radius, n.Centre.X + n.Radius, n.Centre.Y + n.Radius})) continue;
      for (const LayoutPoint& p : flat[k]) {
        if (std::hypot(p.X - n.Centre.X, p.Y - n.Centre.Y) < n.Radius + c.Width / 2) {
          found.push_back("connection " + std::to_string(c.InnovationNumber) + " through node " + std::to_string(n.Number));
          break;
        }
      }
    }
    if (!std::all_of(flat[k].begin(), flat[k].end(), [&](LayoutPoint p) { return Inside(p, picture, -c.Width / 2 + 0.01); }))
      found.push_back("connection " + std::to_string(c.InnovationNumber) + " outside the picture");
    for (size_t j = k + 1; j < l.Connections.size(); ++j)
      if (TrianglesOverlap(c.Arrow, l.Connections[j].Arrow))
        found.push_back("arrowheads of connections " + std::to_string(c.InnovationNumber) + " and " +
                        std::to_string(l.Connections[j].InnovationNumber) + " overlap");
  }
  return found;
}

class LayoutTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterGameTransferFunctions();
    CacheHandler().Clear();
    SetRandSeed(11);
    ApplyStoredPopulationSettings(pop_);
    pop_.OnCalculateFitness = GenomeFitness;
    names_.InputNames.assign(kInvaderInputNames.begin(), kInvaderInputNames.end());
    names_.OutputNames.assign(kInvaderOutputNames.begin(), kInvaderOutputNames.end());
  }
  void TearDown() override { CacheHandler().Clear(); }

  TNEATPopulation pop_{nullptr};
  io::LayoutOptions names_;
};

// The champions of generations 50 to 100 of arena games, and genomes grown far denser by
// mutation with delays and recurrent links (one kept in tests/data/networks, with five curls
// within the output column, delays on them): no label touches another label, a node or a loop, no
// connection runs through a node or a node's label, no two arrowheads overlap.
TEST_F(LayoutTest, DenseNetworksHaveNothingWrittenOverAnything) {
  std::vector<std::pair<std::string, std::unique_ptr<TGenotype>>> genomes;
  pop_.ConnectionAddChance = 0.6;
  pop_.ConnectionSplitChance = 0.25;
  pop_.MaxConnectionDelay = 3;
  pop_.AllowRecurrentLinks = true;
  pop_.CreateInitialPopulation();
  for (int k = 0; k < 6; ++k) {
    std::unique_ptr<TGenotype> g = (*pop_.GenotypeList)[k]->Clone();
    for (int m = 0; m < 40 + 15 * k; ++m) {
      // Every mutation as in a generation of its own: a split made twice in one genome would
      // give its node's number twice.
      pop_.SplitRegistry.clear();
      pop_.ClearInnovations();
      g->Mutate();
    }
    genomes.emplace_back("mutated " + std::to_string(k), std::move(g));
  }
  size_t champions = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(QF_TESTDATA_DIR) / "networks")) {
    genomes.emplace_back(entry.path().filename().string(),
                         io::LoadGenotypeFile(entry.path(), pop_, {true}));
    ++champions;
  }
  ASSERT_GE(champions, 7u);
  size_t biggest = 0;
  for (const auto& [name, g] : genomes) {
    names_.Title = name;
    const io::NetworkLayout layout = io::LayoutGenotype(*g, names_);
    EXPECT_EQ(Overlaps(layout), std::vector<std::string>()) << name;
    // Fitted elsewhere, as a raster view would, it stays as readable.
    io::NetworkLayout small = layout;
    io::ScaleLayout(small, 0.5);
    EXPECT_EQ(small.Width, layout.Width / 2);
    EXPECT_EQ(Overlaps(small), std::vector<std::string>()) << name << ", half size";
    biggest = std::max(biggest, layout.Connections.size());
    // The game's names stand beside their nodes, in input and output order.
    for (const auto& label : layout.Labels) {
      if (label.Kind != LabelKind::Name) continue;
      const int32_t n = label.Node;
      EXPECT_EQ(label.Text, n < 7 ? kInvaderInputNames[static_cast<size_t>(n)] : kInvaderOutputNames[static_cast<size_t>(n - 7)]) << name;
    }
  }
  EXPECT_GE(biggest, 80u);  // the test reaches genomes denser than the game's champions

  // A host's own font, here far wider, gets boxes of its widths and the same guarantees.
  names_.MeasureText = [](std::string_view text, double size, bool bold) {
    return 1.6 * io::DejaVuSansWidth(text, size, bold);
  };
  const io::NetworkLayout wide = io::LayoutGenotype(*genomes.back().second, names_);
  EXPECT_EQ(Overlaps(wide), std::vector<std::string>());
  for (const auto& label : wide.Labels) {
    EXPECT_NEAR(label.Box.Width(), names_.MeasureText(label.Text, label.Size, label.Bold), 2.01) << label.Text;
  }
  names_.MeasureText = nullptr;

  // The check itself sees a label moved onto another.
  io::NetworkLayout layout = io::LayoutGenotype(*genomes.front().second, names_);
  layout.Labels[1].Box = layout.Labels[0].Box;
  EXPECT_FALSE(Overlaps(layout).empty());
}

}  // namespace
}  // namespace qf::test
