#include "tools/assetgen/assetgen.h"

#include <fstream>
#include <stdexcept>

#include "tools/assetgen/icons.h"
#include "tools/assetgen/png_writer.h"
#include "tools/assetgen/preview.h"
#include "tools/assetgen/sounds.h"
#include "tools/assetgen/sprites.h"
#include "tools/assetgen/wav_writer.h"

namespace qf::assetgen {
namespace {

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

AssetPictures MakeAllPictures() {
  return {MakeBackground(), MakeInvader(), MakeBomb(), MakeRocket(),
          MakePlayer(),     MakeLifeShip(), MakeGameOver()};
}

std::vector<AssetFile> MakeAssetFiles() {
  const AssetPictures p = MakeAllPictures();
  return {
      {"fons.png", EncodePng(p.Background, PngAlpha::Drop)},
      {"invader.png", EncodePng(p.Invader, PngAlpha::Keep)},
      {"bumba.png", EncodePng(p.Bomb, PngAlpha::Keep)},
      {"rakete.png", EncodePng(p.Rocket, PngAlpha::Keep)},
      {"player.png", EncodePng(p.Player, PngAlpha::Keep)},
      {"playersm.png", EncodePng(p.LifeShip, PngAlpha::Keep)},
      {"gameover.png", EncodePng(p.GameOver, PngAlpha::Keep)},
      {"Media/chimes.wav", EncodeWav(SynthesizeChimes(), kSoundRate)},
      {"Media/tada.wav", EncodeWav(SynthesizeTada(), kSoundRate)},
  };
}

std::vector<AssetFile> MakeIconFiles() {
  std::vector<AssetFile> files;
  for (const int32_t size : kIconSizes)
    files.push_back({"icons/quillfrost-" + std::to_string(size) + ".png",
                     EncodePng(MakeIcon(size), PngAlpha::Keep)});
  return files;
}

std::vector<std::filesystem::path> WriteAssets(const std::filesystem::path& dir) {
  std::vector<AssetFile> files = MakeAssetFiles();
  for (AssetFile& icon : MakeIconFiles()) files.push_back(std::move(icon));
  std::vector<std::filesystem::path> written;
  for (const AssetFile& f : files) {
    const std::filesystem::path path = dir / std::filesystem::path(f.Name);
    WriteFile(path, f.Bytes);
    written.push_back(path);
  }
  return written;
}

std::vector<std::filesystem::path> WritePreviews(const std::filesystem::path& dir) {
  const AssetPictures p = MakeAllPictures();
  const std::filesystem::path play = dir / "preview-play.png";
  const std::filesystem::path over = dir / "preview-gameover.png";
  WriteFile(play, EncodePng(ComposePreview(p, false), PngAlpha::Drop));
  WriteFile(over, EncodePng(ComposePreview(p, true), PngAlpha::Drop));
  return {play, over};
}

std::filesystem::path WriteSpriteSheet(const std::filesystem::path& dir) {
  const AssetPictures p = MakeAllPictures();
  constexpr int32_t zoom = 8, gap = 16;
  const Picture* sprites[] = {&p.Invader, &p.Bomb, &p.Rocket, &p.Player, &p.LifeShip};
  int32_t w = gap, h = 0;
  for (const Picture* s : sprites) {
    w += s->Width * zoom + gap;
    h = std::max(h, s->Height * zoom);
  }
  Picture sheet(w, h + 2 * gap, 0xFF0B0D1A);
  int32_t x = gap;
  for (const Picture* s : sprites) {
    sheet.Draw(x, gap, Enlarged(*s, zoom), true);
    x += s->Width * zoom + gap;
  }
  const std::filesystem::path path = dir / "preview-sprites.png";
  WriteFile(path, EncodePng(sheet, PngAlpha::Drop));
  return path;
}

}  // namespace qf::assetgen
