// The program entry of the browser build: the glyph pack the status bar is drawn with, the
// application and the main window, in remember mode when the page's address asks for it. main
// returns at once; from then on the page's animation frames run the game, and the window
// lives as long as the page.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "game/main_window.h"
#include "platform/platform.h"
#include "platform/web/web_application.h"
#include "raster/glyph_pack.h"

int main() {
  try {
    static std::unique_ptr<qf::Application> application = qf::CreateWebApplication();
    // The browser has no font rasteriser of its own; the pack lies beside the pictures.
    std::ifstream file("glyphs.pack", std::ios::binary);
    const std::string pack{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!qf::UseGlyphPack(pack))
      std::fprintf(stderr, "Quillfrost: glyphs.pack is missing or damaged; no text is drawn\n");
    // ?remember: the population kept in the player's directory, in the page's storage.
    const qf::PlayerStorage storage = qf::AskedPlayerStorage();
    qf::GameOptions options;
    options.Remember = storage.Remember;
    options.Forget = storage.Forget;
    options.SaveFile = std::filesystem::path(qf::kPlayerDir) / "population.json";
    options.OnPopulationSaved = qf::KeepPlayerDirectory;
    static qf::TfmMain fmMain(*application, options);
    if (!storage.Problem.empty()) {
      const std::string message = "The page's storage cannot be read (" + storage.Problem +
                                  "); the invaders remember you only until the page is closed";
      std::fprintf(stderr, "quillfrost: %s\n", message.c_str());
      fmMain.AddLog(message);
    }
    application->Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Quillfrost: %s\n", e.what());
    return 1;
  }
  return 0;
}
