#pragma once
// The part of the application and window that every implementation shares: the message loop,
// repaint coalescing, closing and destruction, and the exception policy. An implementation
// supplies its events as plain records and the native side of its window.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qf {

enum TEventKind { ekKeyDown, ekKeyUp, ekClose, ekPaint };

struct Event {
  TEventKind Kind = ekPaint;
  TVirtualKey Key = 0;
  TShiftState Shift = 0;
};

// Why a run of the loop returned.
enum TRunResult {
  rrTerminated,  // the main window was closed (or Terminate was called)
  rrNoWindow,    // there is no main window to run for
  rrWouldBlock,  // idle asked to wait and no event can ever come (headless only)
  rrDone,        // the caller's predicate became true (headless only)
  rrIdleLimit,   // the cap on idle rounds was reached (headless only)
};

class CoreApplication;

// Paces frames at a rate by the tick counter, on a fixed schedule of slots so that whole
// milliseconds still average to the rate (60 Hz: 16 or 17 ms apart). A frame shown late takes
// the last slot that has begun: the slots it missed are skipped, not made up by frames in a
// rush, and the next one keeps its place. After a long stall the schedule starts afresh.
class FramePacer {
public:
  // Frames per second; 0 or less: not paced.
  void SetRate(double framesPerSecond);
  double Rate() const { return rate_; }
  // A frame is being shown from tick `now` on.
  void Shown(uint32_t now);
  // Milliseconds from `now` until the next frame may be shown; 0 when it may be shown now.
  uint32_t Delay(uint32_t now) const;

private:
  static constexpr int32_t kRestartAfterMs = 1000;
  uint32_t Due(uint64_t frame) const;

  double rate_ = 0;
  bool started_ = false;
  uint32_t start_ = 0;   // the tick the schedule counts from
  uint64_t frames_ = 0;  // frames shown since then
};

class CoreWindow : public Window {
public:
  CoreWindow(CoreApplication& app, const WindowDesc& desc);

  const std::string& Title() const override { return title_; }
  void SetTitle(const std::string& title) override;
  int32_t ClientWidth() const override { return desc_.ClientWidth; }
  int32_t ClientHeight() const override { return desc_.ClientHeight; }
  void Invalidate() override;
  void SetIcon(const uint32_t* pixels, int32_t width, int32_t height) override;
  void Close() override;
  bool Closed() const override { return closed_; }

  bool PaintPending() const { return paintPending_; }
  bool Destroyed() const { return destroyed_; }

  // Paints at most `framesPerSecond` times a second (0: as often as asked). A repaint asked
  // for sooner waits for its time; meanwhile events are dispatched and no idle is raised.
  void SetFrameRate(double framesPerSecond) { pacer_.SetRate(framesPerSecond); }
  double FrameRate() const { return pacer_.Rate(); }

protected:
  const WindowDesc& Desc() const { return desc_; }
  virtual void NativeSetTitle(const std::string& /*title*/) {}
  // Called with a valid buffer only.
  virtual void NativeSetIcon(const uint32_t* /*pixels*/, int32_t /*width*/, int32_t /*height*/) {}
  virtual void NativeHide() {}
  virtual void NativeDestroy() {}
  // False while nothing of the window can be seen (minimised); a repaint waits till then.
  virtual bool CanPaint() const { return true; }

private:
  friend class CoreApplication;
  CoreApplication& app_;
  WindowDesc desc_;
  std::string title_;
  FramePacer pacer_;
  bool paintPending_ = false;
  bool closed_ = false;
  bool destroyed_ = false;
};

class CoreApplication : public Application {
public:
  CoreApplication();
  ~CoreApplication() override;

  Window& CreateMainWindow(const WindowDesc& desc) override;
  Window* MainWindow() override { return mainWindow_.get(); }
  void Run() override { Loop(nullptr, 0); }
  void ProcessMessages() override;
  bool Terminated() const override { return terminated_; }
  void Terminate() override { terminated_ = true; }
  bool GetSystemDirectory(std::string& dir) override;

  // Idle notifications raised since the application was created.
  uint64_t IdleRounds() const { return idleRounds_; }

protected:
  virtual std::unique_ptr<CoreWindow> NewWindow(const WindowDesc& desc) = 0;
  // The next pending event, without blocking; false when none is pending.
  virtual bool PollEvent(Event& event) = 0;
  // Returns at once when an event is pending, otherwise blocks until one is. False when
  // none can ever come.
  virtual bool WaitEvent() = 0;
  // The same, but returns after `ms` milliseconds at the latest. Only paced windows need it;
  // the default cannot wait for a time and waits as WaitEvent does.
  virtual bool WaitEventTimeout(uint32_t /*ms*/) { return WaitEvent(); }
  // Runs at the start of every round of the loop (a round: pending events, then idle).
  virtual void BeforeRound() {}

  // The loop: rounds until the application terminates, `done` returns true, or
  // `maxIdleRounds` idle notifications (0: no cap) have been raised in this run.
  TRunResult Loop(const std::function<bool()>& done, uint64_t maxIdleRounds);
  // Runs OnDestroy (once) and releases the native window, if the application terminated.
  void FinishIfTerminated();
  // The loop's policy for an exception that escaped a handler; call from a catch block.
  static void HandleException();

private:
  // Dispatches one pending event (a repaint only if allowed, setting `painted`); false when
  // there was none.
  bool DispatchNext(bool allowPaint, bool& painted);
  void Dispatch(const Event& event);
  bool PaintReady() const;
  // Milliseconds a pending repaint still waits for its time; 0 when none waits.
  uint32_t PaintHeldFor() const;

  std::unique_ptr<CoreWindow> mainWindow_;
  bool terminated_ = false;
  bool running_ = false;
  uint64_t idleRounds_ = 0;
};

// Where an installation puts the data directory, relative to the game's own directory
// (packaging/layout.cmake): ../../../share/quillfrost from lib/games/quillfrost.
extern const std::string_view kInstalledDataFromExe;

// The system directory rule for an executable at `exe`: the first existing directory of
// <dir of exe>/data (the build tree's tools), <dir of exe>/../data (the build tree's game)
// and <dir of exe>/kInstalledDataFromExe (an installation), made absolute and normalised.
bool FindSystemDirectory(const std::filesystem::path& exe, std::string& dir);

}  // namespace qf
