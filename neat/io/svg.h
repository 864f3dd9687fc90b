#pragma once
// A genome drawn as an SVG picture that any browser shows. Nodes stand in columns by Depth
// (inputs left, outputs right, hidden nodes between, one column per distinct depth), each
// labelled with its number and transfer function. Connections are blue for a positive weight
// and red for a negative one, thicker with its magnitude; disabled ones are dashed and grey,
// recurrent ones arc above the columns and self-loops curl over their node, a delay is written
// beside its connection. Hovering over a shape shows its details.

#include <filesystem>
#include <string>

namespace qf {
class TGenotype;
}

namespace qf::io {

struct SvgOptions {
  std::string Title;  // drawn above the network when not empty
  bool Legend = true;
};

std::string DrawGenotypeSvg(const TGenotype& genotype, const SvgOptions& options = {});
// Written beside the file and renamed over it.
void WriteGenotypeSvg(const TGenotype& genotype, const std::filesystem::path& file,
                      const SvgOptions& options = {});

}  // namespace qf::io
