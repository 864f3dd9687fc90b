#pragma once
// Sound playback through SDL's audio queue: one sound at a time, a new one replacing the one
// still playing. The audio device is opened on the first sound that decodes; when there is no
// device the game is silent and nothing fails.

#include <cstdint>
#include <string>

namespace qf {

class SdlSound {
public:
  SdlSound() = default;
  ~SdlSound();
  SdlSound(const SdlSound&) = delete;
  SdlSound& operator=(const SdlSound&) = delete;

  // Decodes a complete WAV file image and queues it on the device; returns false (and plays
  // nothing) for empty or undecodable data or when there is no audio device.
  bool Play(const std::string& wave);

  // Sounds handed to the device so far.
  int32_t Queued() const { return queued_; }
  bool DeviceOpen() const { return device_ != 0; }

  // Stops the sound and closes the device; the next Play opens it again.
  void Close();

private:
  bool OpenDevice();

  uint32_t device_ = 0;
  bool triedDevice_ = false;
  int32_t format_ = 0;
  int32_t channels_ = 0;
  int32_t frequency_ = 0;
  int32_t queued_ = 0;
};

}  // namespace qf
