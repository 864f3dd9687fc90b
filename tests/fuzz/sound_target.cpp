// Sound playback from untrusted bytes: a WAV image goes the whole way from decoding through
// conversion to the device's format onto SDL's audio queue, on SDL's dummy audio driver. The
// player must refuse what it cannot play and never crash, leak or run out of memory.

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/sdl/sdl_sound.h"
#include "tests/fuzz/fuzz_targets.h"

namespace qf::fuzz {

namespace {
// One player for the whole run, as the game has: the device is opened once and every sound
// replaces the one before.
SdlSound& Player() {
  static SdlSound* player = new SdlSound;
  return *player;
}
}  // namespace

void InitSoundFuzzing() { setenv("SDL_AUDIODRIVER", "dummy", 1); }

int FuzzSound(const uint8_t* data, size_t size) {
  SdlSound& player = Player();
  const int32_t before = player.Queued();
  const bool played = player.Play(std::string(reinterpret_cast<const char*>(data), size));
  QF_FUZZ_CHECK(player.Queued() == before + (played ? 1 : 0),
                "the count of queued sounds disagrees with what Play reported");
  if (played) QF_FUZZ_CHECK(player.DeviceOpen(), "a sound played without an audio device");
  return 0;
}

}  // namespace qf::fuzz
