// assetgen: writes the game's pictures and sounds into a data directory, or previews of them.
//   assetgen <assets-dir>          the nine data files and the icons (same bytes on every run)
//   assetgen --preview <dir>       preview-play.png, preview-gameover.png, preview-sprites.png

#include <cstdio>
#include <exception>
#include <string_view>

#include "tools/assetgen/assetgen.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: assetgen <assets-dir>\n"
               "       assetgen --preview <dir>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 2 && std::string_view(argv[1]).substr(0, 1) != "-") {
      for (const auto& path : qf::assetgen::WriteAssets(argv[1]))
        std::printf("wrote %s\n", path.string().c_str());
      return 0;
    }
    if (argc == 3 && std::string_view(argv[1]) == "--preview") {
      for (const auto& path : qf::assetgen::WritePreviews(argv[2]))
        std::printf("wrote %s\n", path.string().c_str());
      std::printf("wrote %s\n", qf::assetgen::WriteSpriteSheet(argv[2]).string().c_str());
      return 0;
    }
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "assetgen: %s\n", e.what());
    return 1;
  }
}
