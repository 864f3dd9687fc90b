#include "raster/bitmap32.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/errors.h"
#include "raster/blend_rows.h"

namespace qf {

namespace {

// Rows of a source copied or combined into the target. Callers must do clipping.
void DrawRowsFrom(TColor32* dst, int32_t dstStride, const TColor32* src, int32_t srcStride,
                  int32_t width, int32_t height, TDrawMode mode, uint32_t master,
                  TCombineMode combine) {
  for (int32_t row = 0; row < height; ++row) {
    TColor32* d = dst + static_cast<ptrdiff_t>(row) * dstStride;
    const TColor32* s = src + static_cast<ptrdiff_t>(row) * srcStride;
    if (mode == dmOpaque) {
      std::memcpy(d, s, static_cast<size_t>(width) * sizeof(TColor32));
    } else {
      CombineLine(s, d, width, master, combine);
    }
  }
}

int32_t Clamp64(int64_t v, int32_t lo, int32_t hi) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, lo, hi));
}

}  // namespace

void TBitmap32::SetSize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  const TRect before{0, 0, width_, height_};

  // Both sides are below 2^31, so their product cannot overflow 64 unsigned bits.
  const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  TColor32* store = nullptr;
  if (count > 0 && count <= kMaxStoreBytes / sizeof(TColor32))
    store = static_cast<TColor32*>(std::calloc(count, sizeof(TColor32)));
  if (count > 0 && store == nullptr) {
    pixels_.reset();
    width_ = height_ = 0;
    clipRect_ = TRect{};
    Changed(before);
    throw EBitmapSizeError("Can't allocate the DIB handle");
  }
  pixels_.reset(store);
  width_ = width;
  height_ = height;
  clipRect_ = TRect{0, 0, width_, height_};
  Changed(UnionRect(before, clipRect_));
}

void TBitmap32::SetClipRect(const TRect& rect) {
  clipRect_ = IntersectRect(rect, TRect{0, 0, width_, height_});
}

void TBitmap32::Clear(TColor32 color) {
  if (Empty()) return;
  std::fill_n(pixels_.get(), PixelCount(), color);
  Changed(TRect{0, 0, width_, height_});
}

void TBitmap32::Draw(int32_t x, int32_t y, const TBitmap32* source) {
  if (source == nullptr || source->Empty()) return;
  DrawPixels(x, y, source->Bits(), source->width_, source->height_, source->DrawMode,
             source->MasterAlpha, source->CombineMode, source == this);
}

void TBitmap32::DrawPixels(int32_t x, int32_t y, const TColor32* pixels, int32_t width,
                           int32_t height, TDrawMode drawMode, uint8_t masterAlpha,
                           TCombineMode combineMode, bool fromThis) {
  if (Empty() || width <= 0 || height <= 0) return;
  const TDrawMode mode = drawMode == dmOpaque ? dmOpaque : dmBlend;
  if (mode == dmBlend && masterAlpha == 0) return;

  const TRect dst{Clamp64(std::max<int64_t>(x, clipRect_.Left), clipRect_.Left, clipRect_.Right),
                  Clamp64(std::max<int64_t>(y, clipRect_.Top), clipRect_.Top, clipRect_.Bottom),
                  Clamp64(std::min<int64_t>(int64_t{x} + width, clipRect_.Right),
                          clipRect_.Left, clipRect_.Right),
                  Clamp64(std::min<int64_t>(int64_t{y} + height, clipRect_.Bottom),
                          clipRect_.Top, clipRect_.Bottom)};
  if (dst.IsEmpty()) return;
  const int32_t srcX = static_cast<int32_t>(int64_t{dst.Left} - x);
  const int32_t srcY = static_cast<int32_t>(int64_t{dst.Top} - y);

  const TColor32* src = pixels + static_cast<size_t>(srcY) * width + srcX;
  int32_t srcStride = width;
  std::vector<TColor32> snapshot;
  if (fromThis) {
    // Drawing onto itself reads the picture as it was before the call.
    snapshot.resize(static_cast<size_t>(dst.Width()) * dst.Height());
    for (int32_t row = 0; row < dst.Height(); ++row)
      std::memcpy(snapshot.data() + static_cast<size_t>(row) * dst.Width(),
                  src + static_cast<ptrdiff_t>(row) * srcStride,
                  static_cast<size_t>(dst.Width()) * sizeof(TColor32));
    src = snapshot.data();
    srcStride = dst.Width();
  }
  DrawRowsFrom(ScanLine(dst.Top) + dst.Left, width_, src, srcStride, dst.Width(), dst.Height(),
               mode, masterAlpha, combineMode);
  Changed(dst);
}

void TBitmap32::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 color) {
  // Clipped, although the game keeps inside: a stray rectangle must not write past the store.
  const TRect r = IntersectRect(TRect{x1, y1, x2, y2}, clipRect_);
  if (r.IsEmpty()) return;
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    TColor32* row = ScanLine(y);
    std::fill(row + r.Left, row + r.Right, color);
  }
  Changed(r);
}

void TBitmap32::FrameRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 color) {
  if (x1 >= x2 || y1 >= y2) return;
  const TRect whole = IntersectRect(TRect{x1, y1, x2, y2}, clipRect_);
  if (whole.IsEmpty()) return;
  const int32_t r = x2 - 1;
  const int32_t b = y2 - 1;

  auto hline = [&](int32_t xa, int32_t xb, int32_t y) {
    if (y < clipRect_.Top || y >= clipRect_.Bottom) return;
    if (xa > xb) std::swap(xa, xb);
    xa = std::max(xa, clipRect_.Left);
    xb = std::min(xb, clipRect_.Right - 1);
    if (xa > xb) return;
    TColor32* row = ScanLine(y);
    std::fill(row + xa, row + xb + 1, color);
  };
  auto vline = [&](int32_t x, int32_t ya, int32_t yb) {
    if (x < clipRect_.Left || x >= clipRect_.Right) return;
    if (ya > yb) std::swap(ya, yb);
    ya = std::max(ya, clipRect_.Top);
    yb = std::min(yb, clipRect_.Bottom - 1);
    for (int32_t y = ya; y <= yb; ++y) ScanLine(y)[x] = color;
  };

  hline(x1, r, y1);
  if (y1 < b) hline(x1, r, b);
  if (y1 + 1 < b) {
    vline(x1, y1 + 1, b - 1);
    if (x1 < r) vline(r, y1 + 1, b - 1);
  }
  Changed(whole);
}

void TBitmap32::BlendPixel(int32_t x, int32_t y, TColor32 color) {
  if (!clipRect_.Contains(x, y)) return;
  TColor32& p = ScanLine(y)[x];
  p = CombineReg(color, p, CombineMode);
}

TColor32 TBitmap32::GetPixelClipped(int32_t x, int32_t y) const {
  return clipRect_.Contains(x, y) ? Pixel(x, y) : OuterColor;
}

void TBitmap32::SetPixelClipped(int32_t x, int32_t y, TColor32 color) {
  if (clipRect_.Contains(x, y)) SetPixel(x, y, color);
}

void TBitmap32::ResetAlpha() {
  if (Empty()) return;
  std::for_each_n(pixels_.get(), PixelCount(), [](TColor32& p) { p |= 0xFF000000u; });
  Changed(TRect{0, 0, width_, height_});
}

void TBitmap32::RenderText(int32_t x, int32_t y, std::string_view text, int32_t aaLevel,
                           TColor32 color) {
  if (Empty()) return;
  const int32_t level = std::clamp(aaLevel, -1, 4);
  const TTextMask* mask = RenderTextMask(Font, text, level);
  if (mask == nullptr || mask->Width == 0 || mask->Height == 0) return;

  const TColor32 rgb = color & 0x00FFFFFFu;
  const size_t count = mask->Alpha.size();
  if (mask->Colored.size() != count || mask->ColoredRgb != rgb) {
    mask->Colored.resize(count);
    mask->ColoredRgb = rgb;
    for (size_t i = 0; i < count; ++i) {
      const uint32_t a = mask->Alpha[i];
      // At level 0 untouched pixels stay 0; the supersampled levels colour every pixel.
      mask->Colored[i] = (level == 0 && a == 0) ? 0u : (rgb | a << 24);
    }
  }
  DrawPixels(x, y, mask->Colored.data(), mask->Width, mask->Height, dmBlend,
             AlphaComponent(color), CombineMode, false);
}

TSize TBitmap32::TextExtent(std::string_view text) const { return qf::TextExtent(Font, text); }

void TBitmap32::EndUpdate() {
  QF_ASSERT(updateCount_ > 0, "Unpaired TThreadPersistent.EndUpdate");
  --updateCount_;
}

void TBitmap32::Changed(const TRect& area) {
  if (updateCount_ == 0 && OnAreaChanged) OnAreaChanged(area);
}

}  // namespace qf
