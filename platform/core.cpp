#include "platform/core.h"

#include <cmath>
#include <cstdio>
#include <system_error>

#include "base/errors.h"
#include "base/ticks.h"

namespace qf {

namespace {
CoreApplication* g_application = nullptr;
}

Application* CurrentApplication() { return g_application; }

// ---------------------------------------------------------------------------------------------

void FramePacer::SetRate(double framesPerSecond) {
  rate_ = framesPerSecond > 0 ? framesPerSecond : 0;
  started_ = false;
}

uint32_t FramePacer::Due(uint64_t frame) const {
  // Modulo 2^32, like the ticks it is compared with.
  const double offset = std::round(static_cast<double>(frame) * 1000.0 / rate_);
  return start_ + static_cast<uint32_t>(static_cast<uint64_t>(offset));
}

void FramePacer::Shown(uint32_t now) {
  if (rate_ <= 0) return;
  if (started_) {
    ++frames_;
    const auto late = static_cast<int32_t>(now - Due(frames_ + 1));
    if (late < 0) return;  // the next slot is still ahead
    if (late < kRestartAfterMs) {
      // This frame takes the last slot that has begun; the ones it missed are skipped.
      const auto skipped = static_cast<uint64_t>(late * rate_ / 1000.0);
      start_ = Due(frames_ + 1 + skipped);
      frames_ = 0;
      return;
    }
  }
  started_ = true;
  start_ = now;
  frames_ = 0;
}

uint32_t FramePacer::Delay(uint32_t now) const {
  if (rate_ <= 0 || !started_) return 0;
  const auto wait = static_cast<int32_t>(Due(frames_ + 1) - now);
  return wait > 0 ? static_cast<uint32_t>(wait) : 0;
}

// ---------------------------------------------------------------------------------------------

CoreWindow::CoreWindow(CoreApplication& app, const WindowDesc& desc)
    : app_(app), desc_(desc), title_(desc.Title) {}

void CoreWindow::SetTitle(const std::string& title) {
  title_ = title;
  if (!destroyed_) NativeSetTitle(title_);
}

void CoreWindow::Invalidate() {
  if (!closed_) paintPending_ = true;
}

void CoreWindow::SetIcon(const uint32_t* pixels, int32_t width, int32_t height) {
  if (destroyed_ || !pixels || width < 1 || height < 1) return;
  NativeSetIcon(pixels, width, height);
}

void CoreWindow::Close() {
  if (closed_) return;
  closed_ = true;
  paintPending_ = false;
  NativeHide();
  app_.Terminate();
}

// ---------------------------------------------------------------------------------------------

CoreApplication::CoreApplication() {
  QF_ASSERT(g_application == nullptr, "An application object already exists");
  g_application = this;
  SetMessagePump(this);
}

CoreApplication::~CoreApplication() {
  SetMessagePump(nullptr);
  g_application = nullptr;
}

Window& CoreApplication::CreateMainWindow(const WindowDesc& desc) {
  QF_ASSERT(!mainWindow_, "The main window already exists");
  mainWindow_ = NewWindow(desc);
  return *mainWindow_;
}

bool CoreApplication::GetSystemDirectory(std::string& dir) {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return false;
  return FindSystemDirectory(exe, dir);
}

void CoreApplication::ProcessMessages() {
  // One paint per call: a paint handler that invalidates again must not keep us here.
  bool painted = false;
  while (!terminated_ && DispatchNext(!painted, painted)) {
  }
}

bool CoreApplication::PaintReady() const {
  return mainWindow_ && mainWindow_->paintPending_ && mainWindow_->CanPaint() &&
         mainWindow_->pacer_.Delay(GetTickCount()) == 0;
}

uint32_t CoreApplication::PaintHeldFor() const {
  if (!mainWindow_ || !mainWindow_->paintPending_ || !mainWindow_->CanPaint()) return 0;
  return mainWindow_->pacer_.Delay(GetTickCount());
}

bool CoreApplication::DispatchNext(bool allowPaint, bool& painted) {
  Event event;
  if (PollEvent(event)) {
    Dispatch(event);
    return true;
  }
  // A repaint comes last, after every other pending event, like the system's paint message.
  if (allowPaint && PaintReady()) {
    painted = true;
    Dispatch(Event{ekPaint, 0, 0});
    return true;
  }
  return false;
}

void CoreApplication::Dispatch(const Event& event) {
  CoreWindow* w = mainWindow_.get();
  if (!w || w->closed_) return;
  try {
    switch (event.Kind) {
      case ekKeyDown:
        if (w->OnKeyDown) w->OnKeyDown(event.Key, event.Shift);
        break;
      case ekKeyUp:
        if (w->OnKeyUp) w->OnKeyUp(event.Key, event.Shift);
        break;
      case ekClose:
        w->Close();
        break;
      case ekPaint:
        // Cleared first: a handler that invalidates again asks for a fresh paint.
        w->paintPending_ = false;
        // A frame's moment is when its paint begins: a present that takes its time (one that
        // waits for the display or the X server) then counts toward the frame's period.
        w->pacer_.Shown(GetTickCount());
        if (w->OnPaint) w->OnPaint();
        break;
    }
  } catch (...) {
    HandleException();
  }
}

void CoreApplication::HandleException() {
  try {
    throw;
  } catch (const EAbort&) {
    // The silent abort: unwinding to here was all it asked for.
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    std::fflush(stderr);
  } catch (...) {
    std::fputs("Unknown exception\n", stderr);
    std::fflush(stderr);
  }
}

TRunResult CoreApplication::Loop(const std::function<bool()>& done, uint64_t maxIdleRounds) {
  QF_ASSERT(!running_, "The message loop is already running");
  if (!mainWindow_) return rrNoWindow;
  running_ = true;
  TRunResult result = rrTerminated;
  uint64_t rounds = 0;
  bool waiting = false;
  try {
    while (!terminated_) {
      if (done && done()) {
        result = rrDone;
        break;
      }
      if (maxIdleRounds != 0 && rounds >= maxIdleRounds) {
        result = rrIdleLimit;
        break;
      }
      BeforeRound();
      if (waiting && !PaintReady()) {
        const uint32_t held = PaintHeldFor();
        if (!(held > 0 ? WaitEventTimeout(held) : WaitEvent())) {
          result = rrWouldBlock;
          break;
        }
      }
      ProcessMessages();
      if (terminated_) break;
      // The frame drawn last is still waiting to be shown: the next one waits for it.
      if (PaintHeldFor() > 0) {
        waiting = true;
        continue;
      }
      bool wait = true;
      try {
        if (OnIdle) OnIdle(wait);
      } catch (...) {
        HandleException();
      }
      ++rounds;
      ++idleRounds_;
      waiting = wait;
    }
  } catch (...) {
    // Only a caller's predicate or round hook can get here; they are not game handlers.
    running_ = false;
    throw;
  }
  running_ = false;
  FinishIfTerminated();
  return result;
}

void CoreApplication::FinishIfTerminated() {
  CoreWindow* w = mainWindow_.get();
  if (!terminated_ || !w || w->destroyed_ || running_) return;
  w->closed_ = true;
  w->destroyed_ = true;
  w->paintPending_ = false;
  if (w->OnDestroy) {
    try {
      w->OnDestroy();
    } catch (...) {
      HandleException();
    }
  }
  w->NativeDestroy();
}

// ---------------------------------------------------------------------------------------------

const std::string_view kInstalledDataFromExe = QF_INSTALLED_DATA_FROM_EXE;

bool FindSystemDirectory(const std::filesystem::path& exe, std::string& dir) {
  namespace fs = std::filesystem;
  const fs::path exeDir = exe.parent_path();
  if (exeDir.empty()) return false;
  for (const fs::path& candidate :
       {exeDir / "data", exeDir / ".." / "data", exeDir / kInstalledDataFromExe}) {
    std::error_code ec;
    if (!fs::is_directory(candidate, ec)) continue;
    fs::path found = fs::weakly_canonical(fs::absolute(candidate, ec), ec);
    if (ec) continue;
    dir = found.string();
    return true;
  }
  return false;
}

}  // namespace qf
