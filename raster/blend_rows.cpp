#include "raster/blend_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QF_X86 1
#endif
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace qf {

namespace detail {

void BlendLineScalar(const TColor32* src, TColor32* dst, int32_t count) {
  for (int32_t i = 0; i < count; ++i) dst[i] = BlendReg(src[i], dst[i]);
}

// The vector kernels compute (d << 8) + (s - d) * w + 128 >> 8 in 16-bit lanes, which equals
// d * (256 - w) + s * w + 128 >> 8 modulo 2^16; the true value stays below 2^16, so the
// wrap-around is harmless. w is the alpha, except that 255 becomes 256 so that an opaque
// source lands exactly; alpha 0 gives d unchanged by the same formula.

#if defined(QF_X86) && defined(__SSE2__)
bool HasSse2() { return true; }

void BlendLineSse2(const TColor32* src, TColor32* dst, int32_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
  const __m128i c255 = _mm_set1_epi32(255);
  const __m128i round = _mm_set1_epi16(128);
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i alpha = _mm_and_si128(s, alphaMask);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero)) == 0xFFFF) continue;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, alphaMask)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), s);
      continue;
    }
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    __m128i w = _mm_srli_epi32(s, 24);
    w = _mm_sub_epi32(w, _mm_cmpeq_epi32(w, c255));
    w = _mm_or_si128(w, _mm_slli_epi32(w, 16));
    const __m128i wLo = _mm_unpacklo_epi32(w, w);
    const __m128i wHi = _mm_unpackhi_epi32(w, w);
    const __m128i sLo = _mm_unpacklo_epi8(s, zero), sHi = _mm_unpackhi_epi8(s, zero);
    const __m128i dLo = _mm_unpacklo_epi8(d, zero), dHi = _mm_unpackhi_epi8(d, zero);
    __m128i lo = _mm_add_epi16(_mm_slli_epi16(dLo, 8),
                               _mm_mullo_epi16(_mm_sub_epi16(sLo, dLo), wLo));
    __m128i hi = _mm_add_epi16(_mm_slli_epi16(dHi, 8),
                               _mm_mullo_epi16(_mm_sub_epi16(sHi, dHi), wHi));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, round), 8);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, round), 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
  }
  BlendLineScalar(src + i, dst + i, count - i);
}
#else
bool HasSse2() { return false; }
void BlendLineSse2(const TColor32* src, TColor32* dst, int32_t count) {
  BlendLineScalar(src, dst, count);
}
#endif

#if defined(QF_X86) && defined(__GNUC__)
bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

__attribute__((target("avx2"))) void BlendLineAvx2(const TColor32* src, TColor32* dst,
                                                   int32_t count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i alphaMask = _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u));
  const __m256i c255 = _mm256_set1_epi32(255);
  const __m256i round = _mm256_set1_epi16(128);
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i alpha = _mm256_and_si256(s, alphaMask);
    if (_mm256_testz_si256(alpha, alpha)) continue;
    if (static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, alphaMask))) ==
        0xFFFFFFFFu) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), s);
      continue;
    }
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
    __m256i w = _mm256_srli_epi32(s, 24);
    w = _mm256_sub_epi32(w, _mm256_cmpeq_epi32(w, c255));
    w = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    // Unpacking and packing both work within 128-bit halves, so the pixel order survives.
    const __m256i wLo = _mm256_unpacklo_epi32(w, w);
    const __m256i wHi = _mm256_unpackhi_epi32(w, w);
    const __m256i sLo = _mm256_unpacklo_epi8(s, zero), sHi = _mm256_unpackhi_epi8(s, zero);
    const __m256i dLo = _mm256_unpacklo_epi8(d, zero), dHi = _mm256_unpackhi_epi8(d, zero);
    __m256i lo = _mm256_add_epi16(_mm256_slli_epi16(dLo, 8),
                                  _mm256_mullo_epi16(_mm256_sub_epi16(sLo, dLo), wLo));
    __m256i hi = _mm256_add_epi16(_mm256_slli_epi16(dHi, 8),
                                  _mm256_mullo_epi16(_mm256_sub_epi16(sHi, dHi), wHi));
    lo = _mm256_srli_epi16(_mm256_add_epi16(lo, round), 8);
    hi = _mm256_srli_epi16(_mm256_add_epi16(hi, round), 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_packus_epi16(lo, hi));
  }
  BlendLineSse2(src + i, dst + i, count - i);
}
#else
bool HasAvx2() { return false; }
void BlendLineAvx2(const TColor32* src, TColor32* dst, int32_t count) {
  BlendLineSse2(src, dst, count);
}
#endif

#if defined(__wasm_simd128__)
bool HasWasmSimd() { return true; }

// BlendReg's arithmetic, two channels to a 32-bit lane, on four pixels at once; with the
// weight 256 for an opaque source, alpha 0 and 255 need no case of their own. Runs of four
// wholly transparent or wholly opaque pixels skip the arithmetic.
void BlendLineWasmSimd(const TColor32* src, TColor32* dst, int32_t count) {
  const v128_t alphaMask = wasm_i32x4_splat(static_cast<int32_t>(0xFF000000u));
  const v128_t low = wasm_i32x4_splat(0x00FF00FF);
  const v128_t high = wasm_i32x4_splat(static_cast<int32_t>(0xFF00FF00u));
  const v128_t round = wasm_i32x4_splat(0x00800080);
  const v128_t c255 = wasm_i32x4_splat(255);
  const v128_t c256 = wasm_i32x4_splat(256);
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const v128_t s = wasm_v128_load(src + i);
    const v128_t alpha = wasm_v128_and(s, alphaMask);
    if (!wasm_v128_any_true(alpha)) continue;
    if (wasm_i32x4_all_true(wasm_i32x4_eq(alpha, alphaMask))) {
      wasm_v128_store(dst + i, s);
      continue;
    }
    const v128_t d = wasm_v128_load(dst + i);
    v128_t a = wasm_u32x4_shr(s, 24);
    a = wasm_i32x4_sub(a, wasm_i32x4_eq(a, c255));
    const v128_t ia = wasm_i32x4_sub(c256, a);
    v128_t rb = wasm_i32x4_add(wasm_i32x4_mul(wasm_v128_and(d, low), ia),
                               wasm_i32x4_mul(wasm_v128_and(s, low), a));
    rb = wasm_v128_and(wasm_u32x4_shr(wasm_i32x4_add(rb, round), 8), low);
    v128_t ag = wasm_i32x4_add(wasm_i32x4_mul(wasm_v128_and(wasm_u32x4_shr(d, 8), low), ia),
                               wasm_i32x4_mul(wasm_v128_and(wasm_u32x4_shr(s, 8), low), a));
    ag = wasm_v128_and(wasm_i32x4_add(ag, round), high);
    wasm_v128_store(dst + i, wasm_v128_or(ag, rb));
  }
  BlendLineScalar(src + i, dst + i, count - i);
}
#else
bool HasWasmSimd() { return false; }
void BlendLineWasmSimd(const TColor32* src, TColor32* dst, int32_t count) {
  BlendLineScalar(src, dst, count);
}
#endif

}  // namespace detail

void BlendLine(const TColor32* src, TColor32* dst, int32_t count) {
  // In WebAssembly the SIMD rows beat the scalar rule, even vectorised by the compiler
  // (make web-bench).
  if (detail::HasWasmSimd()) {
    detail::BlendLineWasmSimd(src, dst, count);
  } else if (detail::HasAvx2()) {
    detail::BlendLineAvx2(src, dst, count);
  } else {
    detail::BlendLineSse2(src, dst, count);
  }
}

void CombineLine(const TColor32* src, TColor32* dst, int32_t count, uint32_t master,
                 TCombineMode mode) {
  if (master >= 255 && mode == cmBlend) {
    BlendLine(src, dst, count);
    return;
  }
  for (int32_t i = 0; i < count; ++i)
    dst[i] = CombineReg(ApplyMasterAlpha(src[i], master), dst[i], mode);
}

}  // namespace qf
