#include "game/game_state.h"

#include "base/errors.h"
#include "game/invaders.h"
#include "game/particles.h"
#include "raster/bitmap32.h"

namespace qf {

namespace {
std::unique_ptr<TGameState> g_state;
}

TGameState::TGameState() = default;
TGameState::~TGameState() = default;

TGameState& GameState() {
  QF_ASSERT(g_state != nullptr, "The game state hasn't been created!");
  return *g_state;
}

void CreateGameState() { g_state = std::make_unique<TGameState>(); }

void ReleaseGameState() { g_state.reset(); }

}  // namespace qf
