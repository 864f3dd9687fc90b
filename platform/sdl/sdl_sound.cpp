#include "platform/sdl/sdl_sound.h"

#include <SDL.h>

#include <climits>
#include <vector>

namespace qf {

namespace {

// SDL_LoadWAV's buffer, freed on every path.
struct WavData {
  Uint8* bytes = nullptr;
  Uint32 length = 0;
  SDL_AudioSpec spec{};
  ~WavData() {
    if (bytes) SDL_FreeWAV(bytes);
  }
};

bool Decode(const std::string& wave, WavData& out) {
  if (wave.empty() || wave.size() > static_cast<size_t>(INT_MAX)) return false;
  SDL_RWops* rw = SDL_RWFromConstMem(wave.data(), static_cast<int>(wave.size()));
  if (!rw) return false;
  return SDL_LoadWAV_RW(rw, 1, &out.spec, &out.bytes, &out.length) != nullptr;
}

}  // namespace

SdlSound::~SdlSound() { Close(); }

void SdlSound::Close() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (triedDevice_) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    triedDevice_ = false;
  }
}

bool SdlSound::OpenDevice() {
  if (triedDevice_) return device_ != 0;
  triedDevice_ = true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want{};
  want.freq = 44100;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  SDL_AudioSpec have{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_ANY_CHANGE);
  if (device_ == 0) return false;
  format_ = have.format;
  channels_ = have.channels;
  frequency_ = have.freq;
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

bool SdlSound::Play(const std::string& wave) {
  WavData wav;
  if (!Decode(wave, wav)) return false;
  if (!OpenDevice()) return false;

  SDL_AudioStream* stream =
      SDL_NewAudioStream(wav.spec.format, wav.spec.channels, wav.spec.freq,
                         static_cast<SDL_AudioFormat>(format_), static_cast<Uint8>(channels_),
                         frequency_);
  if (!stream) return false;
  std::vector<Uint8> converted;
  bool ok = SDL_AudioStreamPut(stream, wav.bytes, static_cast<int>(wav.length)) == 0 &&
            SDL_AudioStreamFlush(stream) == 0;
  if (ok) {
    converted.resize(static_cast<size_t>(SDL_AudioStreamAvailable(stream)));
    const int got = converted.empty()
                        ? 0
                        : SDL_AudioStreamGet(stream, converted.data(),
                                             static_cast<int>(converted.size()));
    ok = got >= 0;
    if (ok) converted.resize(static_cast<size_t>(got));
  }
  SDL_FreeAudioStream(stream);
  if (!ok) return false;

  // The new sound cuts off whatever is still queued.
  SDL_ClearQueuedAudio(device_);
  if (!converted.empty() &&
      SDL_QueueAudio(device_, converted.data(), static_cast<Uint32>(converted.size())) != 0)
    return false;
  ++queued_;
  return true;
}

}  // namespace qf
