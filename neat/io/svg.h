#pragma once
// A genome drawn as an SVG picture that any browser shows, from its layout (neat/io/layout.h):
// nodes in columns by Depth with their numbers, the host's names and transfer functions;
// connections blue for a positive weight and red for a negative one, thicker with its
// magnitude, disabled ones dashed and grey, recurrent ones paler, a delay marked dN on its
// connection. Hovering over a shape shows its details.

#include <filesystem>
#include <string>

#include "neat/io/layout.h"

namespace qf {
class TGenotype;
}

namespace qf::io {

// The title, the legend and the host's input and output names.
using SvgOptions = LayoutOptions;

std::string DrawGenotypeSvg(const TGenotype& genotype, const SvgOptions& options = {});
// Written beside the file and renamed over it.
void WriteGenotypeSvg(const TGenotype& genotype, const std::filesystem::path& file,
                      const SvgOptions& options = {});

}  // namespace qf::io
