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

class CoreWindow : public Window {
public:
  CoreWindow(CoreApplication& app, const WindowDesc& desc);

  const std::string& Title() const override { return title_; }
  void SetTitle(const std::string& title) override;
  int32_t ClientWidth() const override { return desc_.ClientWidth; }
  int32_t ClientHeight() const override { return desc_.ClientHeight; }
  void Invalidate() override;
  void Close() override;
  bool Closed() const override { return closed_; }

  bool PaintPending() const { return paintPending_; }
  bool Destroyed() const { return destroyed_; }

protected:
  const WindowDesc& Desc() const { return desc_; }
  virtual void NativeSetTitle(const std::string& /*title*/) {}
  virtual void NativeHide() {}
  virtual void NativeDestroy() {}
  // False while nothing of the window can be seen (minimised); a repaint waits till then.
  virtual bool CanPaint() const { return true; }

private:
  friend class CoreApplication;
  CoreApplication& app_;
  WindowDesc desc_;
  std::string title_;
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
