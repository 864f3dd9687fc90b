#pragma once
// The browser platform: the page's canvas shows the composed buffer, the page's keys arrive as
// virtual-key codes, sounds play through Web Audio once a key has been pressed (browsers let a
// page sound only after a gesture), and the page's title and icon are the window's.
//
// The browser owns the loop, so Run() returns at once: from then on every animation frame
// (requestAnimationFrame) runs one round of the message loop, as the desktop's loop would: the
// pending keys, one idle notification (a game frame), and the repaint the frame asked for.
// While idle asks to wait and nothing is pending a round does nothing, as the desktop blocks.
// Closing the main window (Escape, N at game over) ends the rounds, runs OnDestroy, writes
// log.txt to the browser console and hands it to the page's closing screen for download.
//
// A page opened with ?clock=T is driven by hand (the browser test): the tick counter is a
// ManualClock starting at T, so the random source is seeded from T too; no animation frame
// runs a round, and the page calls qf_web_step(ms) to move the clock and run one round.
//
// The page's files lie at the root of the program's file system, which is the working
// directory and the system directory (Media/ with the sounds).
//
// A page opened with ?remember plays in remember mode, its population kept in the player's
// directory, which the page's storage (IndexedDB) fills before the game starts.

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/ticks.h"
#include "platform/core.h"

namespace qf {

// Remember mode, as the page's address asks for it (player_storage.js): the player's
// directory, kept in the page's storage.
inline constexpr const char* kPlayerDir = "/player";
struct PlayerStorage {
  bool Remember = false;
  bool Forget = false;
  std::string Problem;  // why the storage could not be read: nothing is kept then
};
PlayerStorage AskedPlayerStorage();
// Copies the player's directory to the page's storage, after every save.
void KeepPlayerDirectory();

class WebWindow : public CoreWindow {
public:
  using CoreWindow::CoreWindow;
  void Present(const uint32_t* pixels, int32_t width, int32_t height) override;

protected:
  void NativeSetTitle(const std::string& title) override;
  void NativeSetIcon(const uint32_t* pixels, int32_t width, int32_t height) override;

private:
  std::vector<uint32_t> rgba_;  // the canvas's byte order
};

class WebApplication : public CoreApplication {
public:
  WebApplication();
  ~WebApplication() override;

  void Run() override;
  void PlayWave(const std::string& wave) override;
  bool GetSystemDirectory(std::string& dir) override;

  // One round of the loop; after the window closed, the closing work, once.
  void Round();
  // Moves the hand-driven clock (nothing without one).
  void AdvanceClock(uint32_t ms);
  bool HandDriven() const { return clock_ != nullptr; }

  // A key from the page. Returns true when the page should not act on it itself.
  bool Key(bool down, TVirtualKey key, TShiftState shift);
  // The page lost the keyboard: keys still held are released.
  void ReleaseHeldKeys();

protected:
  std::unique_ptr<CoreWindow> NewWindow(const WindowDesc& desc) override;
  bool PollEvent(Event& event) override;
  bool WaitEvent() override { return !queue_.empty(); }

private:
  void Finish();

  std::deque<Event> queue_;
  std::set<TVirtualKey> held_;
  std::map<std::string, int> sounds_;  // each distinct WAV image gets a number in the page
  std::unique_ptr<ManualClock> clock_;
  bool waiting_ = false;
  bool repainted_ = false;  // the last round's frame asked for a repaint
  bool finished_ = false;
};

}  // namespace qf
