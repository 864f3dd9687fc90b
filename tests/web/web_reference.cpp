// The desktop's side of the browser test: plays scenario.txt on the headless platform with the
// hand-moved clock and keys the browser gets, and writes what a player sees at every check
// (the composed picture, opaque, in the canvas's byte order, the title and where the ship is),
// the log the game writes when it closes, and the ship's opaque pixels, by which the test finds
// the ship on the page.
//   web_reference SCENARIO ASSETS_DIR OUT_DIR
// OUT_DIR gets reference.json, one NAME.rgba per check, and run/, where the game played.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "base/ticks.h"
#include "game/game_state.h"
#include "game/main_window.h"
#include "game/png_loader.h"
#include "platform/headless/headless.h"

namespace fs = std::filesystem;
using namespace qf;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "web_reference: %s\n", why.c_str());
  std::exit(1);
}

// Where the browser's canvas shows the ship's top-left pixel now.
std::pair<int32_t, int32_t> ShipOnCanvas() {
  const TGameState& s = GameState();
  const TFloatRect& at = s.GameLayer->Location();
  return {static_cast<int32_t>(at.Left) + static_cast<int32_t>(s.PlayerX - s.PlayerHalfWidth),
          static_cast<int32_t>(at.Top) + static_cast<int32_t>(s.PlayerY - s.PlayerHalfHeight)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) Fail("usage: web_reference SCENARIO ASSETS_DIR OUT_DIR");
  const fs::path assets = fs::absolute(argv[2]);
  const fs::path out = fs::absolute(argv[3]);
  std::istringstream scenario(ReadFile(argv[1]));
  fs::create_directories(out / "run");
  for (const auto& entry : fs::directory_iterator(assets))
    if (entry.path().extension() == ".png")
      fs::copy_file(entry.path(), out / "run" / entry.path().filename(),
                    fs::copy_options::overwrite_existing);
  fs::current_path(out / "run");

  std::unique_ptr<ManualClock> clock;
  std::unique_ptr<Application> app;
  HeadlessApplication* headless = nullptr;
  std::unique_ptr<TfmMain> fmMain;
  nlohmann::json result;
  result["checks"] = nlohmann::json::array();

  std::string line;
  while (std::getline(scenario, line)) {
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb) || verb[0] == '#') continue;
    if (verb == "clock") {
      uint32_t start = 0;
      words >> start;
      clock = std::make_unique<ManualClock>(start);
      app = CreateHeadlessApplication();
      headless = static_cast<HeadlessApplication*>(app.get());
      headless->SystemDirectory = assets.string();
      fmMain = std::make_unique<TfmMain>(*app);
      const auto [left, top] = ShipOnCanvas();
      result["ship"] = {{"left", left}, {"top", top}};
      continue;
    }
    if (!headless) Fail("the scenario must start with clock");
    if (verb == "frames") {
      int n = 0;
      uint32_t ms = 0;
      words >> n >> ms;
      for (int i = 0; i < n && !headless->Terminated(); ++i) {
        clock->Advance(ms);
        headless->Step();
      }
    } else if (verb == "down" || verb == "up" || verb == "key") {
      int key = 0;
      words >> key;
      if (verb != "up") headless->PostKeyDown(static_cast<TVirtualKey>(key));
      if (verb != "down") headless->PostKeyUp(static_cast<TVirtualKey>(key));
    } else if (verb == "check") {
      std::string name;
      words >> name;
      // What the browser's round has painted by now: the view as the last frame left it.
      const TBitmap32& view = fmMain->ImgView.Paint();
      std::string rgba;
      rgba.reserve(static_cast<size_t>(view.Width()) * view.Height() * 4);
      for (int32_t i = 0; i < view.Width() * view.Height(); ++i) {
        const uint32_t p = view.Bits()[i];
        rgba += {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p),
                 static_cast<char>(0xFF)};
      }
      std::ofstream(out / (name + ".rgba"), std::ios::binary) << rgba;
      result["width"] = view.Width();
      result["height"] = view.Height();
      // Where the ship is, when it is surely drawn (alive, not blinking).
      const TGameState& s = GameState();
      nlohmann::json shipLeft;
      if (s.Lives > 0 && s.PlayerHitTick == 0) shipLeft = ShipOnCanvas().first;
      result["checks"].push_back({{"name", name},
                                  {"title", headless->MainWindow()->Title()},
                                  {"file", name + ".rgba"},
                                  {"shipLeft", shipLeft}});
    } else {
      Fail("unknown scenario line: " + line);
    }
  }
  if (!headless || !headless->Terminated()) Fail("the scenario must end the game");
  result["log"] = ReadFile("log.txt");

  // The ship's opaque pixels, from the picture the game draws it with.
  const std::optional<DecodedPng> ship = DecodePng(ReadFile(assets / "player.png"));
  if (!ship) Fail("cannot decode player.png");
  nlohmann::json opaque = nlohmann::json::array();
  for (int32_t y = 0; y < ship->Height; ++y)
    for (int32_t x = 0; x < ship->Width; ++x) {
      const uint32_t p = ship->Pixels[static_cast<size_t>(y) * ship->Width + x];
      if (p >> 24 == 0xFF) opaque.push_back({x, y, p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF});
    }
  result["ship"]["width"] = ship->Width;
  result["ship"]["opaque"] = opaque;
  std::ofstream(out / "reference.json") << result.dump(1) << '\n';
  return 0;
}
