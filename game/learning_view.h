#pragma once
// The learning view: a panel over the playfield that shows a player what the invaders have
// learned: the generation and the game, the hits on the ship and the bombs dropped by every
// generation of the population's history, and the network of the last generation's best
// invader with the names of its sensors and outputs. The window shows it only when asked (L)
// and only while the game is paused or over, so it never hides a falling bomb.

#include <cstdint>
#include <vector>

#include "game/remember.h"

namespace qf {

class TBitmap32;
class TGenotype;

inline constexpr int32_t kLearningViewSize = 400;  // as the playfield it covers

struct TLearningViewContent {
  int32_t Generation = 1;  // about to play
  int32_t Game = 1;
  bool Remembered = false;  // the history spans every game of a population kept across games
  const std::vector<TWaveRecord>* History = nullptr;
  const TGenotype* Best = nullptr;  // none before the first generation is bred
};

// Draws the panel into `panel`, resized to kLearningViewSize square. Text needs a font;
// without one the panel is drawn without it.
void DrawLearningView(TBitmap32& panel, const TLearningViewContent& content);

}  // namespace qf
