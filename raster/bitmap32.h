#pragma once
// TBitmap32: a 32-bit ARGB pixel store with the drawing operations the game uses. Pixels are
// row-major, top row first, rows packed; a new or resized store is all 0 (transparent black).
// Every clipped operation clips once at its top against ClipRect; the row loops below it
// assume clipped input.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "raster/color.h"
#include "raster/rect.h"
#include "raster/text.h"

namespace qf {

// SetSize could not obtain the pixel store; the bitmap is left empty.
class EBitmapSizeError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TBitmap32 {
public:
  TBitmap32() = default;
  TBitmap32(const TBitmap32&) = delete;
  TBitmap32& operator=(const TBitmap32&) = delete;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }

  // Negative sizes count as 0. An unchanged size does nothing; otherwise the store is
  // replaced by a zeroed one, ClipRect becomes the whole bitmap and a change is notified.
  // Throws EBitmapSizeError ("Can't allocate the DIB handle") and leaves the bitmap empty
  // (0 x 0, no pixels) when the store cannot be had: when its byte count would exceed
  // kMaxStoreBytes, or when the memory is not there.
  void SetSize(int32_t width, int32_t height);
  // The largest pixel store, in bytes: a signed 32-bit size, as a DIB's.
  static constexpr int64_t kMaxStoreBytes = INT32_MAX;

  // Direct access for loaders and tests; no clipping, no notification.
  TColor32* Bits() { return pixels_.get(); }
  const TColor32* Bits() const { return pixels_.get(); }
  TColor32* ScanLine(int32_t y) { return pixels_.get() + static_cast<size_t>(y) * width_; }
  const TColor32* ScanLine(int32_t y) const {
    return pixels_.get() + static_cast<size_t>(y) * width_;
  }
  TColor32 Pixel(int32_t x, int32_t y) const { return ScanLine(y)[x]; }
  void SetPixel(int32_t x, int32_t y, TColor32 color) { ScanLine(y)[x] = color; }

  // Always within the bitmap; SetSize resets it to the whole bitmap.
  const TRect& ClipRect() const { return clipRect_; }
  void SetClipRect(const TRect& rect);

  TColor32 OuterColor = 0;
  TDrawMode DrawMode = dmOpaque;
  TCombineMode CombineMode = cmBlend;
  uint8_t MasterAlpha = 255;
  TFont Font;

  // Every pixel = color, stored without blending. Nothing on an empty bitmap.
  void Clear(TColor32 color);

  // Draws the whole source with its top-left corner at (x, y) by the source's DrawMode,
  // MasterAlpha and CombineMode, clipped to ClipRect; notifies the changed rectangle.
  // dmCustom and dmTransparent draw as dmBlend. Nothing for a null or empty source.
  void Draw(int32_t x, int32_t y, const TBitmap32* source);
  void Draw(int32_t x, int32_t y, const TBitmap32& source) { Draw(x, y, &source); }

  // Stores color in columns x1..x2-1 of rows y1..y2-1, clipped to ClipRect.
  void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 color);

  // The outline of columns x1..x2-1 and rows y1..y2-1, clipped, stored without blending.
  void FrameRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 color);

  // Combines color into (x, y) by CombineMode if it lies in ClipRect. No change notification.
  void BlendPixel(int32_t x, int32_t y, TColor32 color);

  TColor32 GetPixelClipped(int32_t x, int32_t y) const;
  void SetPixelClipped(int32_t x, int32_t y, TColor32 color);

  // Alpha of every pixel = 255, colour kept.
  void ResetAlpha();

  // Draws text in Font at (x, y) with the colour's red, green and blue, weighted by its alpha,
  // without the rasteriser's antialiasing for aaLevel 0 and supersampled 2^aaLevel times for
  // higher levels (clamped to -1..4). No font: nothing is drawn.
  void RenderText(int32_t x, int32_t y, std::string_view text, int32_t aaLevel, TColor32 color);
  TSize TextExtent(std::string_view text) const;

  // Change notifications go out only while the counter is 0.
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  int32_t UpdateCount() const { return updateCount_; }

  // The owner's hook: called with the changed area in this bitmap's pixels.
  std::function<void(const TRect& area)> OnAreaChanged;
  void Changed(const TRect& area);

private:
  // Draw's body for any packed pixels of width x height (`fromThis`: they are this bitmap's).
  void DrawPixels(int32_t x, int32_t y, const TColor32* pixels, int32_t width, int32_t height,
                  TDrawMode drawMode, uint8_t masterAlpha, TCombineMode combineMode,
                  bool fromThis);

  size_t PixelCount() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }

  int32_t width_ = 0;
  int32_t height_ = 0;
  // From calloc: a large store costs address space, not memory, until it is drawn on.
  struct FreeStore {
    void operator()(TColor32* p) const { std::free(p); }
  };
  std::unique_ptr<TColor32[], FreeStore> pixels_;
  TRect clipRect_;
  int32_t updateCount_ = 0;
};

}  // namespace qf
