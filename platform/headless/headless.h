#pragma once
// The headless platform: the same message loop as the real one, fed from a scripted event
// queue instead of a display, for tests and tools. It keeps what the real one would show or
// play (the last presented frame, the title, the icon, every sound handed to PlayWave) so they
// can be looked at.
//
// It never blocks. Where the real loop would wait for the next event (idle asked to wait and
// nothing is pending, or a paced repaint waits for its time) a headless run returns instead;
// post more events or move the clock, and run again. A game that keeps repainting never makes
// the loop wait, so drive it with RunUntil() or Step().

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/core.h"

namespace qf {

struct Frame {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;  // top-down ARGB, Width * Height
};

class HeadlessWindow : public CoreWindow {
public:
  using CoreWindow::CoreWindow;

  void Present(const uint32_t* pixels, int32_t width, int32_t height) override;

  const Frame& LastFrame() const { return lastFrame_; }
  int32_t PresentCount() const { return presentCount_; }
  // The icon last set; empty (0 x 0) when none was.
  const Frame& Icon() const { return icon_; }

protected:
  void NativeSetIcon(const uint32_t* pixels, int32_t width, int32_t height) override;

private:
  Frame lastFrame_;
  Frame icon_;
  int32_t presentCount_ = 0;
};

class HeadlessApplication : public CoreApplication {
public:
  // Runs at the start of every round of the loop, before its pending events are dispatched
  // and before the loop decides whether it would have to block: a tool advances its
  // ManualClock and posts its autopilot keys here.
  std::function<void()> OnIteration;

  // When set, GetSystemDirectory answers this (an empty string: there is none) instead of
  // looking beside the executable.
  std::optional<std::string> SystemDirectory;

  // Every byte string handed to PlayWave, in order (empty ones included).
  std::vector<std::string> SoundsPlayed;

  // Queues an event as the display would deliver it. A paint event is a repaint request of
  // the system: it marks the main window invalid, coalescing with pending requests.
  void Post(const Event& event);
  void PostKeyDown(TVirtualKey key, TShiftState shift = 0) { Post({ekKeyDown, key, shift}); }
  void PostKeyUp(TVirtualKey key, TShiftState shift = 0) { Post({ekKeyUp, key, shift}); }
  void PostKey(TVirtualKey key) {  // a press and its release
    PostKeyDown(key);
    PostKeyUp(key);
  }
  void PostClose() { Post({ekClose, 0, 0}); }
  size_t PendingEvents() const { return queue_.size(); }

  // One round: OnIteration, every pending event, then one idle notification (unless the
  // application terminated on the way). Returns false once the application has terminated;
  // the main window's OnDestroy has run by then.
  bool Step();

  // Rounds until the application terminates, `done` returns true (tested before every
  // round), `maxIdleRounds` idle notifications have been raised (0: no cap), or the loop
  // would block.
  TRunResult RunUntil(const std::function<bool()>& done, uint64_t maxIdleRounds = 0);

  // Run() is RunUntil(nullptr, MaxIdleRounds).
  uint64_t MaxIdleRounds = 0;
  void Run() override { RunUntil(nullptr, MaxIdleRounds); }

  void PlayWave(const std::string& wave) override { SoundsPlayed.push_back(wave); }
  bool GetSystemDirectory(std::string& dir) override;

  HeadlessWindow* MainHeadlessWindow() { return static_cast<HeadlessWindow*>(MainWindow()); }

protected:
  std::unique_ptr<CoreWindow> NewWindow(const WindowDesc& desc) override;
  bool PollEvent(Event& event) override;
  bool WaitEvent() override { return !queue_.empty(); }
  void BeforeRound() override;

private:
  std::deque<Event> queue_;
};

}  // namespace qf
