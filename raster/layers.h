#pragma once
// Layers of the view: TCustomLayer <- TPositionedLayer <- TBitmapLayer. A layer lives in the
// LayerStack of one TImage32, which owns it; later layers lie above earlier ones.

#include <cstdint>
#include <memory>
#include <vector>

#include "raster/bitmap32.h"
#include "raster/rect.h"

namespace qf {

class TImage32;
class TLayerCollection;

class TCustomLayer {
public:
  explicit TCustomLayer(TLayerCollection& collection);
  virtual ~TCustomLayer() = default;
  TCustomLayer(const TCustomLayer&) = delete;
  TCustomLayer& operator=(const TCustomLayer&) = delete;

  TLayerCollection& LayerCollection() const { return *collection_; }
  int32_t Index() const;

  bool Visible() const { return visible_; }
  // Showing or hiding always asks for the covered area to be repainted.
  void SetVisible(bool visible);

  // Change notifications go to the view only while the counter is 0.
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  int32_t UpdateCount() const { return updateCount_; }

  // Reports an area of the view (view pixels) that this layer changed.
  void Changed(const TRect& area);
  void Changed() { Changed(ViewArea()); }

  // Draws the layer into the view's composition buffer.
  virtual void Paint(TBitmap32& buffer) = 0;

  // The view pixels the layer may cover.
  virtual TRect ViewArea() const { return TRect{}; }

protected:
  void NotifyView(const TRect& area) const;

private:
  TLayerCollection* collection_;
  bool visible_ = true;
  int32_t updateCount_ = 0;
};

class TPositionedLayer : public TCustomLayer {
public:
  explicit TPositionedLayer(TLayerCollection& collection) : TCustomLayer(collection) {}

  // Left, top, right, bottom in view pixels (or, when Scaled, in background-picture pixels).
  const TFloatRect& Location() const { return location_; }
  void SetLocation(const TFloatRect& location);
  bool Scaled() const { return scaled_; }
  void SetScaled(bool scaled);

  // The location in view pixels.
  TFloatRect GetAdjustedLocation() const;
  // The adjusted location with every edge rounded to the nearest integer, halves to even.
  TRect GetAdjustedRect() const;

  TRect ViewArea() const override { return GetAdjustedRect(); }
  void Paint(TBitmap32& /*buffer*/) override {}

private:
  TFloatRect location_{0, 0, 64, 64};
  bool scaled_ = false;
};

class TBitmapLayer : public TPositionedLayer {
public:
  explicit TBitmapLayer(TLayerCollection& collection);

  TBitmap32 Bitmap;  // owned; its changes are reported to the view in view pixels

  // The bitmap into the rounded location, clipped to the buffer: a plain Draw when the sizes
  // match, otherwise a nearest-neighbour stretch.
  void Paint(TBitmap32& buffer) override;

private:
  void BitmapAreaChanged(const TRect& area);

  // Scratch of the stretch, kept so that repainting every frame allocates nothing.
  std::vector<int32_t> cols_, rows_;
  std::vector<TColor32> line_;
};

// The ordered, owning list of a view's layers.
class TLayerCollection {
public:
  explicit TLayerCollection(TImage32& owner) : owner_(&owner) {}
  TLayerCollection(const TLayerCollection&) = delete;
  TLayerCollection& operator=(const TLayerCollection&) = delete;

  // Creates a layer on top of the others; the collection owns it.
  template <class T>
  T* Add() {
    auto layer = std::make_unique<T>(*this);
    T* raw = layer.get();
    items_.push_back(std::move(layer));
    raw->Changed();
    return raw;
  }

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TCustomLayer* Items(int32_t index) const;
  int32_t IndexOf(const TCustomLayer* layer) const;

  // Frees the layer (or all of them), asking for its area to be repainted.
  void Delete(int32_t index);
  void Clear();

  TImage32& Owner() const { return *owner_; }

private:
  TImage32* owner_;
  std::vector<std::unique_ptr<TCustomLayer>> items_;
};

}  // namespace qf
