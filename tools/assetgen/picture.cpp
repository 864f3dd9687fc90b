#include "tools/assetgen/picture.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace qf::assetgen {

Argb BlendArgb(Argb b, Argb f) {
  const uint32_t a = AlphaOf(f);
  if (a == 0) return b;
  if (a == 255) return f;
  Argb out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t bc = (b >> shift) & 0xFF;
    const uint32_t fc = (f >> shift) & 0xFF;
    out |= (((bc * (256 - a) + fc * a + 128) >> 8) & 0xFF) << shift;
  }
  return out;
}

Argb MixRgb(Argb a, Argb b, int32_t t) {
  t = std::clamp(t, 0, 256);
  Argb out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const int32_t ac = static_cast<int32_t>((a >> shift) & 0xFF);
    const int32_t bc = static_cast<int32_t>((b >> shift) & 0xFF);
    out |= static_cast<uint32_t>((ac * (256 - t) + bc * t + 128) >> 8) << shift;
  }
  return out;
}

Picture::Picture(int32_t width, int32_t height, Argb fill)
    : Width(std::max(width, 0)), Height(std::max(height, 0)),
      Pixels(static_cast<size_t>(Width) * static_cast<size_t>(Height), fill) {}

Argb Picture::At(int32_t x, int32_t y) const {
  return Contains(x, y) ? Pixels[static_cast<size_t>(y) * Width + x] : 0;
}

void Picture::Set(int32_t x, int32_t y, Argb c) {
  if (Contains(x, y)) Pixels[static_cast<size_t>(y) * Width + x] = c;
}

void Picture::Blend(int32_t x, int32_t y, Argb c) {
  if (Contains(x, y)) {
    Argb& p = Pixels[static_cast<size_t>(y) * Width + x];
    p = BlendArgb(p, c);
  }
}

void Picture::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Argb c) {
  for (int32_t y = std::max(y1, 0); y < std::min(y2, Height); ++y)
    for (int32_t x = std::max(x1, 0); x < std::min(x2, Width); ++x) Set(x, y, c);
}

void Picture::BlendRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Argb c) {
  for (int32_t y = std::max(y1, 0); y < std::min(y2, Height); ++y)
    for (int32_t x = std::max(x1, 0); x < std::min(x2, Width); ++x) Blend(x, y, c);
}

void Picture::FrameRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, Argb c) {
  if (x1 >= x2 || y1 >= y2) return;
  for (int32_t x = x1; x < x2; ++x) {
    Set(x, y1, c);
    Set(x, y2 - 1, c);
  }
  for (int32_t y = y1; y < y2; ++y) {
    Set(x1, y, c);
    Set(x2 - 1, y, c);
  }
}

void Picture::Draw(int32_t x, int32_t y, const Picture& src, bool blend) {
  for (int32_t sy = 0; sy < src.Height; ++sy)
    for (int32_t sx = 0; sx < src.Width; ++sx) {
      const Argb c = src.Pixels[static_cast<size_t>(sy) * src.Width + sx];
      if (blend)
        Blend(x + sx, y + sy, c);
      else
        Set(x + sx, y + sy, c);
    }
}

void Picture::DrawStretched(int32_t x, int32_t y, int32_t w, int32_t h, const Picture& src) {
  if (w <= 0 || h <= 0 || src.Width == 0 || src.Height == 0) return;
  // The ratio is held in single precision and the product truncated, as the layered view does.
  const float rx = static_cast<float>(src.Width) / static_cast<float>(w);
  const float ry = static_cast<float>(src.Height) / static_cast<float>(h);
  for (int32_t i = 0; i < h; ++i) {
    const int32_t sy = std::min(static_cast<int32_t>(static_cast<float>(i) * ry), src.Height - 1);
    for (int32_t j = 0; j < w; ++j) {
      const int32_t sx = std::min(static_cast<int32_t>(static_cast<float>(j) * rx), src.Width - 1);
      Blend(x + j, y + i, src.At(sx, sy));
    }
  }
}

bool Picture::Opaque() const {
  return std::all_of(Pixels.begin(), Pixels.end(), [](Argb c) { return AlphaOf(c) == 255; });
}

Picture FromPixelMap(const std::vector<std::string_view>& rows,
                     const std::unordered_map<char, Argb>& palette) {
  const int32_t height = static_cast<int32_t>(rows.size());
  const int32_t width = rows.empty() ? 0 : static_cast<int32_t>(rows[0].size());
  Picture p(width, height);
  for (int32_t y = 0; y < height; ++y) {
    if (static_cast<int32_t>(rows[y].size()) != width)
      throw std::invalid_argument("pixel map row " + std::to_string(y) + " has " +
                                  std::to_string(rows[y].size()) + " columns, expected " +
                                  std::to_string(width));
    for (int32_t x = 0; x < width; ++x) {
      const char ch = rows[y][x];
      if (ch == '.' || ch == ' ') continue;
      const auto it = palette.find(ch);
      if (it == palette.end())
        throw std::invalid_argument(std::string("pixel map uses '") + ch +
                                    "', which the palette lacks");
      p.Set(x, y, it->second);
    }
  }
  return p;
}

Picture FromMirroredMap(const std::vector<std::string_view>& halfRows,
                        const std::unordered_map<char, Argb>& palette) {
  std::vector<std::string> full;
  full.reserve(halfRows.size());
  for (const std::string_view half : halfRows) {
    std::string row(half);
    row.append(half.rbegin(), half.rend());
    full.push_back(std::move(row));
  }
  return FromPixelMap(std::vector<std::string_view>(full.begin(), full.end()), palette);
}

Picture Enlarged(const Picture& src, int32_t factor) {
  Picture out(src.Width * factor, src.Height * factor);
  for (int32_t y = 0; y < out.Height; ++y)
    for (int32_t x = 0; x < out.Width; ++x) out.Set(x, y, src.At(x / factor, y / factor));
  return out;
}

}  // namespace qf::assetgen
