// The program entry of the browser build: the glyph pack the status bar is drawn with, the
// application and the main window. main returns at once; from then on the page's animation
// frames run the game, and the window lives as long as the page.

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "game/main_window.h"
#include "platform/platform.h"
#include "raster/glyph_pack.h"

int main() {
  try {
    static std::unique_ptr<qf::Application> application = qf::CreateWebApplication();
    // The browser has no font rasteriser of its own; the pack lies beside the pictures.
    std::ifstream file("glyphs.pack", std::ios::binary);
    const std::string pack{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!qf::UseGlyphPack(pack))
      std::fprintf(stderr, "Quillfrost: glyphs.pack is missing or damaged; no text is drawn\n");
    static qf::TfmMain fmMain(*application);
    application->Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Quillfrost: %s\n", e.what());
    return 1;
  }
  return 0;
}
