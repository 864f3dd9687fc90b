// The SDL implementation on SDL's dummy video and audio drivers: no display or sound card is
// needed, but the window, renderer, event queue and audio queue are SDL's own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/keys.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_application.h"

using namespace qf;

namespace {

class Sdl : public testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
};

void PutLE(std::string& s, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A complete PCM WAV file image with `frames` frames of a square wave.
std::string MakeWav(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t frames) {
  const uint32_t blockAlign = channels * (bits / 8u);
  const uint32_t dataSize = frames * blockAlign;
  std::string s = "RIFF";
  PutLE(s, 36 + dataSize, 4);
  s += "WAVEfmt ";
  PutLE(s, 16, 4);
  PutLE(s, 1, 2);  // PCM
  PutLE(s, channels, 2);
  PutLE(s, rate, 4);
  PutLE(s, rate * blockAlign, 4);
  PutLE(s, blockAlign, 2);
  PutLE(s, bits, 2);
  s += "data";
  PutLE(s, dataSize, 4);
  for (uint32_t i = 0; i < dataSize; ++i) s.push_back(static_cast<char>((i / 16) % 2 ? 0x60 : 0xA0));
  return s;
}

// SDL key symbols of keys without a character: the scancode with bit 30 set.
constexpr int32_t SymOfScancode(int32_t scancode) { return scancode | (1 << 30); }

}  // namespace

TEST_F(Sdl, MainWindowHasTheFixedClientSizeAndItsTitle) {
  std::unique_ptr<Application> base = CreateSdlApplication();
  auto& app = static_cast<SdlApplication&>(*base);
  Window& window = app.CreateMainWindow(WindowDesc{"Quillfrost"});
  SdlWindow& native = *app.MainSdlWindow();

  int32_t width = 0, height = 0;
  native.NativeClientSize(width, height);
  EXPECT_EQ(width, 471);
  EXPECT_EQ(height, 503);
  EXPECT_EQ(window.ClientWidth(), 471);
  EXPECT_EQ(window.ClientHeight(), 503);
  EXPECT_FALSE(native.NativeResizable());
  EXPECT_EQ(native.NativeTitle(), "Quillfrost");

  window.SetTitle("Quillfrost [paused]");
  EXPECT_EQ(native.NativeTitle(), "Quillfrost [paused]");
  EXPECT_EQ(window.Title(), "Quillfrost [paused]");
}

TEST_F(Sdl, LoopDeliversKeysPaintsAndEndsWhenTheWindowCloses) {
  SdlApplication app;
  Window& window = app.CreateMainWindow(WindowDesc{"Quillfrost"});
  std::vector<std::string> log;
  std::vector<uint32_t> view(471 * 503, 0xFF102030u);
  int paints = 0;
  int idles = 0;
  bool destroyed = false;
  window.OnKeyDown = [&](TVirtualKey k, TShiftState) { log.push_back("down " + std::to_string(k)); };
  window.OnKeyUp = [&](TVirtualKey k, TShiftState) { log.push_back("up " + std::to_string(k)); };
  window.OnPaint = [&] {
    ++paints;
    window.Present(view.data(), 471, 503);
  };
  window.OnDestroy = [&] { destroyed = true; };
  app.OnIdle = [&](bool& wait) {
    EXPECT_TRUE(wait);
    // A running game: each frame asks for a repaint, so the loop never blocks.
    if (++idles <= 3)
      window.Invalidate();
    else
      window.Close();
  };

  app.PushNativeKey('a', true);
  app.PushNativeKey('a', true, true);  // auto-repeat
  app.PushNativeKey(SymOfScancode(80), true);   // Left arrow
  app.PushNativeKey(SymOfScancode(104), true);  // F13: no virtual key, not delivered
  app.PushNativeKey(SymOfScancode(80), false);
  app.PushNativeKey('a', false);

  app.Run();
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(idles, 4);
  EXPECT_EQ(log, (std::vector<std::string>{"down 65", "down 65", "down 37", "up 37", "up 65"}));
  EXPECT_GE(paints, 3);
  EXPECT_EQ(app.MainSdlWindow()->PresentCount(), paints);
  // After destruction the window object still answers but shows nothing.
  window.Present(view.data(), 471, 503);
  EXPECT_EQ(app.MainSdlWindow()->PresentCount(), paints);
}

// The software renderer (all the dummy driver has) claims vertical sync without waiting for
// anything, and the dummy display gives no refresh rate: the frames are paced at 60 Hz.
TEST_F(Sdl, TheSoftwareRendererIsPacedAtTheDefaultRefreshRate) {
  SdlApplication app;
  app.CreateMainWindow(WindowDesc{"Quillfrost"});
  EXPECT_FALSE(app.MainSdlWindow()->VSync());
  EXPECT_EQ(app.MainSdlWindow()->FrameRate(), SdlWindow::kDefaultRefreshRate);
}

TEST_F(Sdl, PresentAcceptsAnyBufferAndIgnoresEmptyOnes) {
  SdlApplication app;
  Window& window = app.CreateMainWindow(WindowDesc{"Quillfrost"});
  SdlWindow& native = *app.MainSdlWindow();
  std::vector<uint32_t> view(471 * 503, 0x00FFFFFFu);
  window.Present(view.data(), 471, 503);
  window.Present(view.data(), 400, 400);  // another size: a new texture
  window.Present(view.data(), 1, 1);
  EXPECT_EQ(native.PresentCount(), 3);
  window.Present(nullptr, 471, 503);
  window.Present(view.data(), 0, 503);
  window.Present(view.data(), 471, -3);
  EXPECT_EQ(native.PresentCount(), 3);
}

TEST_F(Sdl, PlayWaveQueuesOnlyDecodableSoundsAndNeverFails) {
  SdlApplication app;
  const SdlSound& sound = app.Sound();
  app.PlayWave("");
  EXPECT_FALSE(sound.DeviceOpen()) << "the device opens with the first real sound";
  app.PlayWave("this is not a sound at all");
  std::string garbage(4096, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
  app.PlayWave(garbage);
  const std::string valid = MakeWav(8000, 1, 16, 400);
  app.PlayWave(valid.substr(0, 30));           // cut inside the format chunk
  std::string lying = valid;                   // a format chunk claiming 0 channels
  lying[22] = 0;
  lying[23] = 0;
  app.PlayWave(lying);
  EXPECT_EQ(sound.Queued(), 0);

  app.PlayWave(valid);
  EXPECT_TRUE(sound.DeviceOpen());
  EXPECT_EQ(sound.Queued(), 1);
  app.PlayWave(MakeWav(22050, 2, 8, 1000));  // replaces the one still playing
  EXPECT_EQ(sound.Queued(), 2);
  app.PlayWave(garbage);
  EXPECT_EQ(sound.Queued(), 2);
}

// Found by fuzzing: SDL reserves a chunk's declared size before reading it, and its converter
// overflows on absurd rates or multiplies a few bytes into minutes of audio on tiny ones.
TEST_F(Sdl, PlayWaveRefusesLyingChunkSizesAndAbsurdSampleRates) {
  SdlApplication app;
  const SdlSound& sound = app.Sound();
  const std::string valid = MakeWav(8000, 1, 16, 400);
  std::string huge = valid;  // the data chunk claims almost 4 GB
  for (int i = 40; i < 44; ++i) huge[i] = static_cast<char>(0xFF);
  app.PlayWave(huge);
  app.PlayWave(huge.substr(8));  // the same as a bare WAVE form without the RIFF header
  app.PlayWave(valid.substr(0, valid.size() - 1));  // one byte short of its data chunk
  app.PlayWave(MakeWav(16392000, 1, 8, 200));
  app.PlayWave(MakeWav(10, 1, 8, 200));
  EXPECT_EQ(sound.Queued(), 0);

  app.PlayWave(MakeWav(1000, 1, 8, 200));
  app.PlayWave(MakeWav(192000, 2, 16, 200));
  app.PlayWave(valid.substr(8));
  EXPECT_EQ(sound.Queued(), 3);
}

TEST(SdlKeys, SymbolsBecomeVirtualKeyCodes) {
  EXPECT_EQ(VirtualKeyFromSdl('a'), 'A');
  EXPECT_EQ(VirtualKeyFromSdl('n'), 78);
  EXPECT_EQ(VirtualKeyFromSdl('p'), 80);
  EXPECT_EQ(VirtualKeyFromSdl('y'), 89);
  EXPECT_EQ(VirtualKeyFromSdl('z'), 'Z');
  EXPECT_EQ(VirtualKeyFromSdl('0'), '0');
  EXPECT_EQ(VirtualKeyFromSdl('9'), '9');
  EXPECT_EQ(VirtualKeyFromSdl(27), VK_ESCAPE);
  EXPECT_EQ(VirtualKeyFromSdl(' '), VK_SPACE);
  EXPECT_EQ(VirtualKeyFromSdl('\r'), VK_RETURN);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(80)), VK_LEFT);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(79)), VK_RIGHT);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(82)), VK_UP);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(81)), VK_DOWN);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(58)), VK_F1);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(69)), VK_F1 + 11);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(98)), VK_NUMPAD0);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(89)), VK_NUMPAD0 + 1);
  EXPECT_EQ(VirtualKeyFromSdl(SymOfScancode(104)), 0);  // F13
  EXPECT_EQ(VirtualKeyFromSdl('`'), 0);
}
