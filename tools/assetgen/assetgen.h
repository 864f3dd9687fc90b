#pragma once
// The generator's entry points: every asset in memory, written to a data directory, and the
// previews of a game in play.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/assetgen/picture.h"

namespace qf::assetgen {

struct AssetPictures {
  Picture Background, Invader, Bomb, Rocket, Player, LifeShip, GameOver;
};

AssetPictures MakeAllPictures();

struct AssetFile {
  std::string Name;  // relative to the data directory, '/' separated
  std::vector<uint8_t> Bytes;
};

// The nine files of the data directory, in a fixed order.
std::vector<AssetFile> MakeAssetFiles();

// The application icon at every size, as icons/quillfrost-<size>.png; not part of the data
// directory, the installation puts them into the desktop's icon theme.
std::vector<AssetFile> MakeIconFiles();

// Writes the nine files and the icons below dir (creating it, Media/ and icons/); returns the
// paths written.
// Throws std::runtime_error naming the file that could not be written.
std::vector<std::filesystem::path> WriteAssets(const std::filesystem::path& dir);

// Writes preview-play.png and preview-gameover.png below dir; returns the paths written.
std::vector<std::filesystem::path> WritePreviews(const std::filesystem::path& dir);

// Writes every sprite enlarged eight times on one sheet, for close inspection.
std::filesystem::path WriteSpriteSheet(const std::filesystem::path& dir);

}  // namespace qf::assetgen
