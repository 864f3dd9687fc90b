#pragma once
// Row kernels behind Draw: a run of source pixels combined into a run of target pixels.
// Callers must do clipping; source and target runs must not overlap.

#include <cstdint>

#include "raster/color.h"

namespace qf {

// dst[i] = BlendReg(src[i], dst[i]), vectorised where the processor allows; bit-exact to it.
void BlendLine(const TColor32* src, TColor32* dst, int32_t count);

// The general row: the source's alpha weighted by master (255 = as it is), combined by mode.
void CombineLine(const TColor32* src, TColor32* dst, int32_t count, uint32_t master,
                 TCombineMode mode);

namespace detail {
// The individual kernels, so tests can hold each one against the scalar rule.
void BlendLineScalar(const TColor32* src, TColor32* dst, int32_t count);
bool HasSse2();
void BlendLineSse2(const TColor32* src, TColor32* dst, int32_t count);
bool HasAvx2();
void BlendLineAvx2(const TColor32* src, TColor32* dst, int32_t count);
bool HasWasmSimd();
void BlendLineWasmSimd(const TColor32* src, TColor32* dst, int32_t count);
}  // namespace detail

}  // namespace qf
