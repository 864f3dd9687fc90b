#pragma once
// The study's picture: how many evaluations the solved runs needed, as a histogram, with our
// mean and the published mean marked.

#include <string>
#include <vector>

#include "examples/polebalance/pole_evolution.h"

namespace qf::pole {

// Draws the histogram of the solved runs' evaluations (whole generations) and writes it as a
// PNG. Throws std::runtime_error when the file cannot be written.
void DrawEvaluationsPlot(const std::vector<PoleResult>& results, const PoleOptions& options,
                         const std::string& path);

}  // namespace qf::pole
