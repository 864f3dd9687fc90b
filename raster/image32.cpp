#include "raster/image32.h"

#include "base/errors.h"

namespace qf {

TImage32::TImage32() {
  Bitmap.OnAreaChanged = [this](const TRect&) { Changed(GetViewportRect()); };
}

TImage32::~TImage32() {
  destroying_ = true;
  OnRepaintRequest = nullptr;
  LayerStack.Clear();
}

void TImage32::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  left_ = left;
  top_ = top;
  if (width != buffer_.Width() || height != buffer_.Height()) {
    buffer_.SetSize(width, height);
    Invalidate();
  }
}

TRect TImage32::GetBitmapRect() const {
  const int32_t w = Bitmap.Width(), h = Bitmap.Height();
  if (BitmapAlign == baTopLeft) return TRect{0, 0, w, h};
  const int32_t left = (Width() - w) / 2;
  const int32_t top = (Height() - h) / 2;
  return TRect{left, top, left + w, top + h};
}

void TImage32::EndUpdate() {
  QF_ASSERT(updateCount_ > 0, "Unpaired EndUpdate call");
  --updateCount_;
}

void TImage32::Invalidate() {
  stale_ = true;
  invalidArea_ = GetViewportRect();
  RequestRepaint();
}

void TImage32::Changed(const TRect& area) {
  if (destroying_) return;
  const TRect visible = IntersectRect(area, GetViewportRect());
  if (visible.IsEmpty()) return;
  stale_ = true;
  invalidArea_ = UnionRect(invalidArea_, visible);
  if (updateCount_ == 0) RequestRepaint();
}

void TImage32::RequestRepaint() {
  if (OnRepaintRequest) OnRepaintRequest();
}

const TBitmap32& TImage32::Paint() {
  Compose();
  return buffer_;
}

void TImage32::Compose() {
  stale_ = false;
  invalidArea_ = TRect{};
  if (buffer_.Empty()) return;

  const TColor32 color = Color32(Color);
  const TRect whole = GetViewportRect();
  const TRect pic = GetBitmapRect();
  const TRect shown = IntersectRect(pic, whole);
  if (Bitmap.Empty() || Bitmap.DrawMode != dmOpaque || shown.IsEmpty()) {
    buffer_.Clear(color);
  } else {
    // Only the margins around an opaque picture need the background colour.
    buffer_.FillRect(0, 0, whole.Right, shown.Top, color);
    buffer_.FillRect(0, shown.Bottom, whole.Right, whole.Bottom, color);
    buffer_.FillRect(0, shown.Top, shown.Left, shown.Bottom, color);
    buffer_.FillRect(shown.Right, shown.Top, whole.Right, shown.Bottom, color);
  }
  buffer_.Draw(pic.Left, pic.Top, Bitmap);

  for (int32_t i = 0; i < LayerStack.Count(); ++i) {
    TCustomLayer* layer = LayerStack.Items(i);
    if (layer->Visible()) layer->Paint(buffer_);
  }
}

}  // namespace qf
