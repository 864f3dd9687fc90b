#pragma once
// TImage32: the view control. It shows a background picture (centred, scale 1) on its
// background colour and its layers above it, composed into a buffer the size of the control.
//
// The window that hosts the view sets its size (SetBounds) and OnRepaintRequest; when the
// request comes, the window's paint handler calls Paint() and shows the buffer it returns.

#include <cstdint>
#include <functional>

#include "raster/bitmap32.h"
#include "raster/color.h"
#include "raster/layers.h"
#include "raster/rect.h"

namespace qf {

enum TBitmapAlign { baTopLeft, baCenter };
enum TScaleMode { smNormal };
enum TRepaintMode { rmFull, rmOptimizer };

class TImage32 {
public:
  TImage32();
  ~TImage32();
  TImage32(const TImage32&) = delete;
  TImage32& operator=(const TImage32&) = delete;

  TBitmap32 Bitmap;  // the background picture, owned
  TBitmapAlign BitmapAlign = baCenter;
  // Both modes compose the whole view on every repaint, so they look the same.
  TRepaintMode RepaintMode = rmOptimizer;
  TColor Color = clBtnFace;
  TLayerCollection LayerStack{*this};

  // The picture is always shown unscaled.
  float Scale() const { return 1.0f; }
  TScaleMode ScaleMode() const { return smNormal; }

  // Position in the window and size of the control; the buffer follows the size.
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  void Resize(int32_t width, int32_t height) { SetBounds(left_, top_, width, height); }
  int32_t Left() const { return left_; }
  int32_t Top() const { return top_; }
  int32_t Width() const { return buffer_.Width(); }
  int32_t Height() const { return buffer_.Height(); }

  // (0, 0, control width, control height).
  TRect GetViewportRect() const { return TRect{0, 0, Width(), Height()}; }
  // Where the background picture lies in view pixels.
  TRect GetBitmapRect() const;

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  int32_t UpdateCount() const { return updateCount_; }

  // Marks the whole composition stale and asks the window for a repaint.
  void Invalidate();
  // Set by the window: called when the view wants to be repainted. It is a request, not a
  // paint, and may come several times before the window gets round to painting.
  std::function<void()> OnRepaintRequest;

  // An area of the view changed (from the background or a layer): gathered, and a repaint is
  // requested while the update counter is 0.
  void Changed(const TRect& area);

  bool Stale() const { return stale_; }
  // The areas changed since the last composition (the whole view after Invalidate).
  const TRect& InvalidArea() const { return invalidArea_; }

  // Composes background and visible layers into the buffer and returns it.
  const TBitmap32& Paint();
  void Compose();

  // The composed pixels: Width() x Height() ARGB values, rows packed, top row first.
  const TBitmap32& Buffer() const { return buffer_; }
  const uint32_t* Pixels() const { return buffer_.Bits(); }

private:
  void RequestRepaint();

  TBitmap32 buffer_;
  int32_t left_ = 0;
  int32_t top_ = 0;
  int32_t updateCount_ = 0;
  bool stale_ = true;
  bool destroying_ = false;
  TRect invalidArea_;
};

}  // namespace qf
