#pragma once
// The SDL2 implementation of the platform. The SDL headers stay in the .cpp files; this header
// only forward-declares the handles, so tests can inspect the native window.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core.h"
#include "platform/sdl/sdl_sound.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace qf {

class SdlApplication;

class SdlWindow : public CoreWindow {
public:
  SdlWindow(SdlApplication& app, const WindowDesc& desc);  // throws when SDL refuses
  ~SdlWindow() override;

  void Present(const uint32_t* pixels, int32_t width, int32_t height) override;

  uint32_t NativeId() const { return id_; }
  // What the windowing system reports, for tests.
  std::string NativeTitle() const;
  void NativeClientSize(int32_t& width, int32_t& height) const;
  bool NativeResizable() const;
  // Whether the renderer waits for the display; without it the frames are paced at the
  // display's refresh rate (kDefaultRefreshRate when the display does not say).
  bool VSync() const { return vsync_; }
  static constexpr int kDefaultRefreshRate = 60;
  int32_t PresentCount() const { return presentCount_; }

protected:
  void NativeSetTitle(const std::string& title) override;
  void NativeSetIcon(const uint32_t* pixels, int32_t width, int32_t height) override;
  void NativeHide() override;
  void NativeDestroy() override;
  bool CanPaint() const override;

private:
  friend class SdlApplication;
  // Sets the frame rate from the display the window is on.
  void PaceFrames();

  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int32_t textureWidth_ = 0;
  int32_t textureHeight_ = 0;
  uint32_t id_ = 0;
  bool vsync_ = false;
  int32_t presentCount_ = 0;
};

class SdlApplication : public CoreApplication {
public:
  SdlApplication();  // initialises SDL video; throws std::runtime_error when it cannot
  ~SdlApplication() override;

  void PlayWave(const std::string& wave) override { sound_.Play(wave); }
  const SdlSound& Sound() const { return sound_; }
  SdlWindow* MainSdlWindow() { return static_cast<SdlWindow*>(MainWindow()); }

  // Puts a key event for the main window into SDL's own queue, as the keyboard would (an SDL
  // key symbol), so tests and tools drive the real translation path.
  void PushNativeKey(int32_t sym, bool down, bool repeat = false);

protected:
  std::unique_ptr<CoreWindow> NewWindow(const WindowDesc& desc) override;
  bool PollEvent(Event& event) override;
  bool WaitEvent() override;
  bool WaitEventTimeout(uint32_t ms) override;

private:
  SdlSound sound_;
};

// The virtual-key code of an SDL key symbol; 0 for keys the game cannot name.
TVirtualKey VirtualKeyFromSdl(int32_t sym);

}  // namespace qf
