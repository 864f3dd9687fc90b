#include "raster/layers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/errors.h"
#include "base/numbers.h"
#include "raster/blend_rows.h"
#include "raster/image32.h"

namespace qf {

namespace {

// Rounded to the nearest integer, halves to even; far-off values are held where an int fits.
int32_t RoundCoord(float v) {
  if (std::isnan(v)) return 0;
  return RoundToInt(std::clamp(static_cast<double>(v), -1.0e9, 1.0e9));
}

// Source column (or row) for each destination column counted from the destination's left
// edge: trunc(i * ratio) with the ratio held as a single; a 1-pixel destination takes the
// middle of the source.
void MapAxis(int32_t srcSize, int32_t dstSize, int32_t first, int32_t count,
             std::vector<int32_t>& map) {
  map.resize(static_cast<size_t>(count));
  if (dstSize == 1) {
    std::fill(map.begin(), map.end(), (srcSize - 1) / 2);
    return;
  }
  const float ratio = static_cast<float>(static_cast<double>(srcSize) / dstSize);
  for (int32_t k = 0; k < count; ++k) {
    const double product = static_cast<double>(first + k) * static_cast<double>(ratio);
    // The single's rounding could reach one past the last source pixel on huge stretches.
    map[static_cast<size_t>(k)] = std::min(static_cast<int32_t>(product), srcSize - 1);
  }
}

}  // namespace

// ---- TCustomLayer ----

TCustomLayer::TCustomLayer(TLayerCollection& collection) : collection_(&collection) {}

int32_t TCustomLayer::Index() const { return collection_->IndexOf(this); }

void TCustomLayer::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  NotifyView(ViewArea());
}

void TCustomLayer::EndUpdate() {
  QF_ASSERT(updateCount_ > 0, "Unpaired TThreadPersistent.EndUpdate");
  --updateCount_;
}

void TCustomLayer::Changed(const TRect& area) {
  if (updateCount_ == 0) NotifyView(area);
}

void TCustomLayer::NotifyView(const TRect& area) const { collection_->Owner().Changed(area); }

// ---- TPositionedLayer ----

void TPositionedLayer::SetLocation(const TFloatRect& location) {
  if (location == location_) return;
  const TRect before = GetAdjustedRect();
  location_ = location;
  Changed(UnionRect(before, GetAdjustedRect()));
}

void TPositionedLayer::SetScaled(bool scaled) {
  if (scaled == scaled_) return;
  const TRect before = GetAdjustedRect();
  scaled_ = scaled;
  Changed(UnionRect(before, GetAdjustedRect()));
}

TFloatRect TPositionedLayer::GetAdjustedLocation() const {
  if (!scaled_) return location_;
  // Scaled layers are placed in the background picture's pixels.
  const TImage32& view = LayerCollection().Owner();
  const TRect pic = view.GetBitmapRect();
  const float s = view.Scale();
  return TFloatRect{pic.Left + location_.Left * s, pic.Top + location_.Top * s,
                    pic.Left + location_.Right * s, pic.Top + location_.Bottom * s};
}

TRect TPositionedLayer::GetAdjustedRect() const {
  const TFloatRect loc = GetAdjustedLocation();
  return TRect{RoundCoord(loc.Left), RoundCoord(loc.Top), RoundCoord(loc.Right),
               RoundCoord(loc.Bottom)};
}

// ---- TBitmapLayer ----

TBitmapLayer::TBitmapLayer(TLayerCollection& collection) : TPositionedLayer(collection) {
  Bitmap.OnAreaChanged = [this](const TRect& area) { BitmapAreaChanged(area); };
}

void TBitmapLayer::BitmapAreaChanged(const TRect& area) {
  const TRect dst = GetAdjustedRect();
  if (Bitmap.Empty() || dst.IsEmpty()) {
    Changed(dst);
    return;
  }
  // The bitmap's area scaled into the location, widened to whole pixels.
  const double sx = static_cast<double>(dst.Width()) / Bitmap.Width();
  const double sy = static_cast<double>(dst.Height()) / Bitmap.Height();
  const TRect mapped{dst.Left + static_cast<int32_t>(std::floor(area.Left * sx)),
                     dst.Top + static_cast<int32_t>(std::floor(area.Top * sy)),
                     dst.Left + static_cast<int32_t>(std::ceil(area.Right * sx)),
                     dst.Top + static_cast<int32_t>(std::ceil(area.Bottom * sy))};
  Changed(IntersectRect(mapped, dst));
}

void TBitmapLayer::Paint(TBitmap32& buffer) {
  if (Bitmap.Empty() || buffer.Empty()) return;
  const bool opaque = Bitmap.DrawMode == dmOpaque;
  if (!opaque && Bitmap.MasterAlpha == 0) return;
  const TRect dst = GetAdjustedRect();
  if (dst.IsEmpty()) return;
  const int32_t sw = Bitmap.Width(), sh = Bitmap.Height();
  if (dst.Width() == sw && dst.Height() == sh) {
    buffer.Draw(dst.Left, dst.Top, Bitmap);
    return;
  }

  const TRect clip = IntersectRect(dst, buffer.ClipRect());
  if (clip.IsEmpty()) return;
  MapAxis(sw, dst.Width(), clip.Left - dst.Left, clip.Width(), cols_);
  MapAxis(sh, dst.Height(), clip.Top - dst.Top, clip.Height(), rows_);

  line_.resize(static_cast<size_t>(clip.Width()));
  for (int32_t k = 0; k < clip.Height(); ++k) {
    const TColor32* src = Bitmap.ScanLine(rows_[static_cast<size_t>(k)]);
    for (size_t i = 0; i < line_.size(); ++i) line_[i] = src[cols_[i]];
    TColor32* out = buffer.ScanLine(clip.Top + k) + clip.Left;
    if (opaque) {
      std::memcpy(out, line_.data(), line_.size() * sizeof(TColor32));
    } else {
      CombineLine(line_.data(), out, clip.Width(), Bitmap.MasterAlpha, Bitmap.CombineMode);
    }
  }
  buffer.Changed(clip);
}

// ---- TLayerCollection ----

TCustomLayer* TLayerCollection::Items(int32_t index) const {
  if (index < 0 || index >= Count())
    throw EListError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)].get();
}

int32_t TLayerCollection::IndexOf(const TCustomLayer* layer) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == layer) return static_cast<int32_t>(i);
  return -1;
}

void TLayerCollection::Delete(int32_t index) {
  TCustomLayer* layer = Items(index);
  const TRect area = layer->ViewArea();
  const bool shown = layer->Visible();
  items_.erase(items_.begin() + index);
  if (shown) owner_->Changed(area);
}

void TLayerCollection::Clear() {
  while (!items_.empty()) Delete(Count() - 1);
}

}  // namespace qf
