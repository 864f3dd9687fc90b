// The drawing of a genome: well-formed XML that an XML parser accepts, one shape per node and
// per connection, and the kinds of connection told apart.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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
  const std::string svg = io::DrawGenotypeSvg(g, options);
  EXPECT_EQ(XmlLint(svg), "");
  EXPECT_EQ(Count(svg, "<circle class=\"node "), static_cast<size_t>(g.NodeList.Count()));
  EXPECT_EQ(Count(svg, "<path class=\"connection"), static_cast<size_t>(g.ConnectList.Count()));
  EXPECT_EQ(Count(svg, "class=\"connection self-loop\""), 1u);
  EXPECT_GE(Count(svg, "class=\"connection recurrent\""), 1u);
  EXPECT_GE(Count(svg, "class=\"connection disabled"), 1u);
  EXPECT_GE(Count(svg, ">d2</text>"), 1u);
  EXPECT_NE(svg.find("champion &lt;&amp;&gt; &quot;1&quot;"), std::string::npos);
  for (const TNode* n : g.NodeList) {
    EXPECT_NE(svg.find("id=\"node-" + std::to_string(n->Number) + "\""), std::string::npos);
    // An input's transfer function is never computed; only the hover text names it.
    if (!n->IsInput) {
      EXPECT_NE(svg.find(">" + n->TransferFunction->Name + "</text>"), std::string::npos);
    }
  }
  CacheHandler().Clear();
}

}  // namespace
}  // namespace qf::test
