#include "platform/sdl/sdl_sound.h"

#include <SDL.h>

#include <climits>
#include <vector>

namespace qf {

namespace {

// Sample rates outside this range are refused; real WAV files use 8 kHz to 192 kHz.
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 384000;

// SDL_LoadWAV's buffer, freed on every path.
struct WavData {
  Uint8* bytes = nullptr;
  Uint32 length = 0;
  SDL_AudioSpec spec{};
  ~WavData() {
    if (bytes) SDL_FreeWAV(bytes);
  }
};

// SDL allocates a chunk's declared length before it reads the chunk, so a few bytes claiming
// a 4 GB chunk would ask for 4 GB. An image whose chunks claim more than it holds is corrupt.
bool ChunksFitInImage(const std::string& wave) {
  const auto le32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(wave[at + i]);
    return v;
  };
  // SDL also reads a bare WAVE form without the RIFF header.
  size_t pos;
  if (wave.compare(0, 4, "RIFF") == 0) {
    pos = 12;
  } else if (wave.compare(0, 4, "WAVE") == 0) {
    pos = 4;
  } else {
    return true;  // SDL refuses it
  }
  while (pos + 8 <= wave.size()) {
    const uint32_t length = le32(pos + 4);
    if (length > wave.size() - pos - 8) return false;
    pos += 8 + size_t{length} + (length & 1);
  }
  return true;
}

bool Decode(const std::string& wave, WavData& out) {
  if (wave.empty() || wave.size() > static_cast<size_t>(INT_MAX)) return false;
  if (!ChunksFitInImage(wave)) return false;
  SDL_RWops* rw = SDL_RWFromConstMem(wave.data(), static_cast<int>(wave.size()));
  if (!rw) return false;
  if (!SDL_LoadWAV_RW(rw, 1, &out.spec, &out.bytes, &out.length)) return false;
  // SDL's converter overflows its buffer arithmetic on absurd rates, and a very low one
  // would blow a few bytes up into minutes of audio.
  return out.spec.freq >= kMinSampleRate && out.spec.freq <= kMaxSampleRate;
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
