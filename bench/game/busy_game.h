#pragma once
// The game in a busy state, for the desktop's frame benchmark and the browser's: the real main
// window on the headless platform with a hand-moved clock, 10 invaders spread over the field,
// 2 rockets and 10 bombs that hit nothing, and 600 particles.

#include <filesystem>
#include <memory>
#include <string>

#include "base/random.h"
#include "base/ticks.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/main_window.h"
#include "game/particles.h"
#include "platform/headless/headless.h"

namespace qf {

struct BusyGame {
  ManualClock clock{1'000'000};
  std::unique_ptr<Application> app = CreateHeadlessApplication();
  std::unique_ptr<TfmMain> fmMain;

  // The sprites are read from, and log.txt written into, the current directory: a scratch
  // copy of the pictures in `assets` keeps that folder clean.
  explicit BusyGame(const std::string& assets) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "quillfrost_game_bench";
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(assets))
      if (entry.path().extension() == ".png")
        fs::copy_file(entry.path(), dir / entry.path().filename(),
                      fs::copy_options::overwrite_existing);
    fs::current_path(dir);
    static_cast<HeadlessApplication*>(app.get())->SystemDirectory = assets;
    fmMain = std::make_unique<TfmMain>(*app);
    SetRandSeed(42);
  }

  void MakeBusy() {
    TGameState& s = GameState();
    for (size_t i = 0; i < s.Invaders.size(); ++i) {
      s.Invaders[i]->X = 20.0f + 38.0f * static_cast<float>(i);
      s.Invaders[i]->Y = 40.0f + 10.0f * static_cast<float>(i);
    }
    s.Rockets = {Rocket{390, 330}, Rocket{5, 300}};
    for (int i = 0; i < 10; ++i) s.Bombs.push_back(Bomb{10.0f + 35.0f * i, 250, nullptr});
    for (int i = 0; i < 4; ++i) fmMain->Explode(100 + 60 * i, 200, 150);
    for (int i = 0; i < 3; ++i) Frame();
  }

  // A frame in which no time passes, so the busy state stays as it is while every pass runs
  // (and no invader lives long enough to drop a bomb of its own); returns the composed view.
  const TBitmap32& Frame() {
    GameState().LastFrameTick = clock.Now();
    fmMain->GameFrame();
    return fmMain->ImgView.Paint();
  }
};

}  // namespace qf
