#pragma once
// The study's picture: how many evaluations the solved runs needed, as a histogram beside the
// unsolved runs, with the median over all runs and its interval, the mean that counts unsolved
// runs at what they used, and the published mean marked.

#include <string>
#include <vector>

#include "examples/polebalance/pole_evolution.h"
#include "examples/polebalance/pole_statistics.h"

namespace qf::pole {

// Draws the histogram of the solved runs' evaluations (whole generations) and writes it as a
// PNG. Throws std::runtime_error when the file cannot be written.
void DrawEvaluationsPlot(const std::vector<PoleResult>& results, const PoleStatistics& statistics,
                         const PoleOptions& options, const std::string& path);

}  // namespace qf::pole
