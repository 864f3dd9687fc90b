#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/errors.h"
#include "base/message_pump.h"
#include "base/ticks.h"
#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "platform/platform.h"

using namespace qf;

namespace {

// A headless application with its main window, recording what reaches the handlers.
struct Rig {
  HeadlessApplication app;
  Window& window;
  std::vector<std::string> log;

  Rig() : window(app.CreateMainWindow(WindowDesc{"Quillfrost"})) {
    window.OnKeyDown = [this](TVirtualKey k, TShiftState) { log.push_back("down " + std::to_string(k)); };
    window.OnKeyUp = [this](TVirtualKey k, TShiftState) { log.push_back("up " + std::to_string(k)); };
    window.OnPaint = [this] { log.push_back("paint"); };
    window.OnDestroy = [this] { log.push_back("destroy"); };
  }
};

}  // namespace

TEST(HeadlessLoop, EventsInOrderThenIdleAndAWaitingIdleEndsTheRun) {
  Rig rig;
  int idles = 0;
  rig.app.OnIdle = [&](bool& wait) {
    EXPECT_TRUE(wait) << "wait must come in preset";
    rig.log.push_back("idle");
    // Ask to be called again twice, then let the loop wait.
    if (++idles < 3) wait = false;
  };
  rig.app.PostKeyDown(VK_LEFT);
  rig.app.PostKeyDown(VK_RIGHT);
  rig.app.PostKeyDown(VK_RIGHT);  // an auto-repeat is just another key-down
  rig.app.PostKeyUp(VK_LEFT);
  rig.app.PostKeyUp('N');

  EXPECT_EQ(rig.app.RunUntil(nullptr, 100), rrWouldBlock);
  const std::vector<std::string> expected = {"down 37", "down 39", "down 39", "up 37",
                                             "up 78",   "idle",    "idle",    "idle"};
  EXPECT_EQ(rig.log, expected);
  EXPECT_FALSE(rig.app.Terminated());

  // Run again after more input: the events go first, then idle once more.
  rig.log.clear();
  rig.app.PostKeyDown(VK_ESCAPE);
  rig.app.Run();
  EXPECT_EQ(rig.log, (std::vector<std::string>{"down 27", "idle"}));
  EXPECT_EQ(rig.app.IdleRounds(), 4u);
}

TEST(HeadlessLoop, RepaintsCoalesceAndComeAfterOtherEvents) {
  Rig rig;
  int paints = 0;
  rig.window.OnPaint = [&] {
    rig.log.push_back("paint");
    // A paint that invalidates again is painted in the next round, not in a loop.
    if (++paints == 1) rig.window.Invalidate();
  };
  rig.window.Invalidate();
  rig.window.Invalidate();
  rig.app.Post(Event{ekPaint, 0, 0});  // the system's own repaint request joins them
  rig.app.PostKeyDown(VK_SPACE);
  rig.window.Invalidate();
  rig.app.OnIdle = [&](bool&) { rig.log.push_back("idle"); };

  EXPECT_EQ(rig.app.RunUntil(nullptr, 10), rrWouldBlock);
  const std::vector<std::string> expected = {"down 32", "paint", "idle", "paint", "idle"};
  EXPECT_EQ(rig.log, expected);
  EXPECT_FALSE(static_cast<CoreWindow&>(rig.window).PaintPending());
}

TEST(HeadlessLoop, SilentAbortIsSwallowedOtherErrorsArePrintedAndTheLoopGoesOn) {
  Rig rig;
  int idles = 0;
  rig.app.OnIdle = [&](bool& wait) {
    ++idles;
    wait = idles >= 4;
    if (idles == 1) throw EAbort();
    if (idles == 2) throw std::runtime_error("Fitness MUST be zero or above");
  };
  rig.window.OnKeyDown = [&](TVirtualKey key, TShiftState) {
    rig.log.push_back("down " + std::to_string(key));
    if (key == VK_SPACE) throw EAssertionFailed("Species is emtpy", "species.cpp", 12);
    if (key == 'P') throw EAbort();
  };
  rig.window.OnPaint = [] { throw std::logic_error("paint failed"); };
  rig.app.PostKeyDown(VK_SPACE);
  rig.app.PostKeyDown('P');
  rig.app.PostKeyDown(VK_LEFT);
  rig.window.Invalidate();

  testing::internal::CaptureStderr();
  const TRunResult result = rig.app.RunUntil(nullptr, 20);
  const std::string err = testing::internal::GetCapturedStderr();

  EXPECT_EQ(result, rrWouldBlock);
  EXPECT_EQ(idles, 4);
  EXPECT_EQ(rig.log, (std::vector<std::string>{"down 32", "down 80", "down 37"}));
  EXPECT_EQ(err,
            "Species is emtpy (species.cpp, line 12)\n"
            "paint failed\n"
            "Fitness MUST be zero or above\n");
  EXPECT_EQ(err.find("aborted"), std::string::npos);
}

TEST(HeadlessLoop, ProcessMessagesFromAHandlerRunsPendingEventsButNotIdle) {
  Rig rig;
  int idles = 0;
  int nested = 0;
  rig.app.OnIdle = [&](bool&) {
    ++idles;
    ++nested;
    EXPECT_EQ(nested, 1) << "idle must not be raised from inside a frame";
    if (idles == 1) {
      // As the engine does between genomes, through the base/ hook.
      rig.app.PostKeyDown(VK_RIGHT);
      rig.window.Invalidate();
      rig.log.push_back("before");
      ProcessMessages();
      rig.log.push_back("after");
      EXPECT_FALSE(ApplicationTerminated());
    }
    --nested;
  };
  EXPECT_EQ(rig.app.RunUntil(nullptr, 10), rrWouldBlock);
  EXPECT_EQ(rig.log, (std::vector<std::string>{"before", "down 39", "paint", "after"}));
  EXPECT_EQ(idles, 1);
}

TEST(HeadlessLoop, ClosingInsideAnEvaluationAbortsSilentlyAndDestroysAfterTheFrame) {
  Rig rig;
  rig.window.OnKeyDown = [&](TVirtualKey key, TShiftState) {
    rig.log.push_back("down " + std::to_string(key));
    if (key == VK_ESCAPE) rig.window.Close();
  };
  rig.app.OnIdle = [&](bool& wait) {
    wait = false;
    rig.log.push_back("frame");
    // The engine's evaluation loop: process messages, stop when the application terminates.
    for (int genome = 0; genome < 30; ++genome) {
      if (genome == 2) {
        rig.app.PostKeyDown(VK_ESCAPE);
        rig.app.PostKeyDown(VK_SPACE);  // never dispatched: the window is closing
      }
      ProcessMessages();
      if (ApplicationTerminated()) throw EAbort();
    }
    rig.log.push_back("frame end");
  };

  testing::internal::CaptureStderr();
  EXPECT_EQ(rig.app.RunUntil(nullptr, 100), rrTerminated);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(rig.log, (std::vector<std::string>{"frame", "down 27", "destroy"}));
  EXPECT_TRUE(rig.app.Terminated());
  EXPECT_TRUE(rig.window.Closed());

  // Once over, the loop stays over: nothing more is dispatched, destroy does not run twice.
  rig.app.PostKeyDown(VK_SPACE);
  rig.window.Invalidate();
  rig.app.Run();
  EXPECT_FALSE(rig.app.Step());
  EXPECT_EQ(rig.log.size(), 3u);
}

TEST(HeadlessLoop, CloseButtonAndTerminateEndTheLoopAndRunDestroyOnce) {
  {
    Rig rig;
    rig.app.OnIdle = [&](bool& wait) { wait = false; };
    rig.app.PostKeyDown('A');
    rig.app.PostClose();
    rig.app.PostKeyDown('B');
    EXPECT_EQ(rig.app.RunUntil(nullptr, 100), rrTerminated);
    EXPECT_EQ(rig.log, (std::vector<std::string>{"down 65", "destroy"}));
    EXPECT_EQ(rig.app.IdleRounds(), 0u);
  }
  {
    Rig rig;
    int idles = 0;
    rig.app.OnIdle = [&](bool& wait) {
      wait = false;
      if (++idles == 3) rig.app.Terminate();
    };
    EXPECT_TRUE(rig.app.Step());
    EXPECT_TRUE(rig.app.Step());
    EXPECT_TRUE(rig.log.empty());
    EXPECT_FALSE(rig.app.Step());  // terminated in this round; destroyed on the way out
    EXPECT_EQ(rig.log, (std::vector<std::string>{"destroy"}));
    EXPECT_TRUE(rig.window.Closed());
  }
}

TEST(HeadlessLoop, IterationHookDrivesTheClockAndKeysUntilThePredicateHolds) {
  Rig rig;
  ManualClock clock(1000);
  std::vector<uint32_t> frameTicks;
  rig.app.OnIteration = [&] {
    clock.Advance(20);
    if (clock.Now() == 1060) rig.app.PostKeyDown('P');
  };
  rig.app.OnIdle = [&](bool&) {
    frameTicks.push_back(GetTickCount());
    rig.window.Invalidate();  // a running frame asks for its repaint, so the loop never waits
  };
  const TRunResult result = rig.app.RunUntil([&] { return frameTicks.size() == 5; });
  EXPECT_EQ(result, rrDone);
  EXPECT_EQ(frameTicks, (std::vector<uint32_t>{1020, 1040, 1060, 1080, 1100}));
  ASSERT_GE(rig.log.size(), 3u);
  EXPECT_EQ(rig.log[0], "paint");
  EXPECT_EQ(rig.log[1], "down 80");  // posted by the hook, dispatched in that same round
  EXPECT_EQ(rig.log[2], "paint");

  // The cap on idle rounds stops a game that never waits.
  EXPECT_EQ(rig.app.RunUntil(nullptr, 7), rrIdleLimit);
  EXPECT_EQ(frameTicks.size(), 12u);

  // A paused game waits; the hook may still wake it by posting input.
  int wakes = 0;
  rig.app.OnIdle = [&](bool&) { frameTicks.push_back(GetTickCount()); };
  rig.app.OnIteration = [&] {
    if (wakes < 2 && rig.app.PendingEvents() == 0) {
      ++wakes;
      rig.app.PostKeyUp(VK_LEFT);
    }
  };
  EXPECT_EQ(rig.app.RunUntil(nullptr, 100), rrWouldBlock);
  EXPECT_EQ(frameTicks.size(), 14u);  // one round per wake; the second one had to wait
}

// A window paced at 50 frames a second (20 ms apart) in a running game: the repaint asked for
// by a frame waits for its time, a key that comes meanwhile is handled at once, and the next
// frame (idle) runs only after the repaint. A headless run returns where the real loop waits.
TEST(HeadlessLoop, APacedRepaintWaitsForItsTimeWhileKeysGoThroughAtOnce) {
  ManualClock clock(5000);
  Rig rig;
  static_cast<CoreWindow&>(rig.window).SetFrameRate(50);
  rig.app.OnIdle = [&](bool&) {
    rig.log.push_back("idle");
    rig.window.Invalidate();
  };
  rig.window.Invalidate();
  EXPECT_EQ(rig.app.RunUntil(nullptr), rrWouldBlock);
  EXPECT_EQ(rig.log, (std::vector<std::string>{"paint", "idle"}));

  clock.Advance(19);
  rig.app.PostKeyDown(VK_SPACE);
  EXPECT_EQ(rig.app.RunUntil(nullptr), rrWouldBlock);
  EXPECT_EQ(rig.log, (std::vector<std::string>{"paint", "idle", "down 32"}));

  clock.Advance(1);
  EXPECT_EQ(rig.app.RunUntil(nullptr), rrWouldBlock);
  EXPECT_EQ(rig.log, (std::vector<std::string>{"paint", "idle", "down 32", "paint", "idle"}));
}

// At 60 Hz whole milliseconds still make 60 frames a second (16 or 17 ms apart), across the
// tick counter's wrap. A frame shown late skips the slots it missed: the next ones neither rush
// to make them up nor lose their place, unless the stall was long.
TEST(HeadlessLoop, PacedFramesKeepTheirRateAndDoNotRushAfterADelay) {
  const uint32_t start = 0xFFFFFFFFu - 500;
  ManualClock clock(start);
  Rig rig;
  static_cast<CoreWindow&>(rig.window).SetFrameRate(60);
  std::vector<uint32_t> shown;
  rig.window.OnPaint = [&] { shown.push_back(clock.Now() - start); };
  rig.app.OnIdle = [&](bool&) { rig.window.Invalidate(); };
  rig.window.Invalidate();
  auto runFor = [&](uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) {
      rig.app.RunUntil(nullptr, 100);
      clock.Advance(1);
    }
  };
  runFor(1001);
  ASSERT_EQ(shown.size(), 61u);
  for (uint32_t k = 0; k <= 60; ++k) EXPECT_EQ(shown[k], (k * 1000 + 30) / 60) << "frame " << k;

  shown.clear();
  clock.Advance(500);  // a frame that took half a second
  runFor(40);
  EXPECT_EQ(shown, (std::vector<uint32_t>{1501, 1517, 1533}));
  shown.clear();
  clock.Advance(2000);  // a long stall
  runFor(20);
  EXPECT_EQ(shown, (std::vector<uint32_t>{3541, 3558}));
}

TEST(HeadlessWindow, TitleFramesAndSoundsAreKept) {
  HeadlessApplication app;
  EXPECT_EQ(app.MainWindow(), nullptr);
  EXPECT_EQ(app.RunUntil(nullptr, 1), rrNoWindow);
  Window& window = app.CreateMainWindow(WindowDesc{"Quillfrost"});
  EXPECT_EQ(app.MainWindow(), &window);
  EXPECT_THROW(app.CreateMainWindow(WindowDesc{"again"}), EAssertionFailed);
  EXPECT_EQ(window.ClientWidth(), 471);
  EXPECT_EQ(window.ClientHeight(), 503);
  EXPECT_EQ(window.Title(), "Quillfrost");
  window.SetTitle("Quillfrost [paused]");
  EXPECT_EQ(window.Title(), "Quillfrost [paused]");

  HeadlessWindow& hw = *app.MainHeadlessWindow();
  const std::vector<uint32_t> pixels = {0xFF000000u, 0xFFFFFFFFu, 0x80FF0000u,
                                        0xFF00FF00u, 0xFF0000FFu, 0x00000000u};
  window.Present(pixels.data(), 3, 2);
  window.Present(nullptr, 3, 2);
  window.Present(pixels.data(), 0, 2);
  window.Present(pixels.data(), 3, -1);
  EXPECT_EQ(hw.PresentCount(), 1);
  EXPECT_EQ(hw.LastFrame().Width, 3);
  EXPECT_EQ(hw.LastFrame().Height, 2);
  EXPECT_EQ(hw.LastFrame().Pixels, pixels);

  const std::string wave("RIFF\x24\0\0\0WAVE", 12);
  app.PlayWave(wave);
  app.PlayWave("");
  app.PlayWave("chimes");
  EXPECT_EQ(app.SoundsPlayed, (std::vector<std::string>{wave, "", "chimes"}));
}

TEST(HeadlessApplication, IsTheMessagePumpWhileItLivesAndOnlyOneExists) {
  EXPECT_EQ(CurrentApplication(), nullptr);
  {
    std::unique_ptr<Application> app = CreateHeadlessApplication();
    EXPECT_EQ(CurrentApplication(), app.get());
    EXPECT_THROW(HeadlessApplication second, EAssertionFailed);
    EXPECT_EQ(CurrentApplication(), app.get());
    app->CreateMainWindow(WindowDesc{});
    app->MainWindow()->Close();
    EXPECT_TRUE(ApplicationTerminated());
  }
  EXPECT_EQ(CurrentApplication(), nullptr);
  EXPECT_FALSE(ApplicationTerminated());
  ProcessMessages();  // no pump: nothing happens
}

TEST(SystemDirectory, FoundBesideOrAboveTheExecutableOnly) {
  namespace fs = std::filesystem;
  const fs::path root =
      fs::path(testing::TempDir()) / ("qf_sysdir_test_" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "app");
  const fs::path exe = root / "app" / "quillfrost";
  std::ofstream(exe) << "#!";

  std::string dir = "unchanged";
  EXPECT_FALSE(FindSystemDirectory(exe, dir));
  EXPECT_EQ(dir, "unchanged");

  std::ofstream(root / "app" / "data") << "a file, not a directory";
  EXPECT_FALSE(FindSystemDirectory(exe, dir));

  fs::create_directories(root / "data" / "Media");
  ASSERT_TRUE(FindSystemDirectory(exe, dir));
  EXPECT_EQ(fs::path(dir), fs::canonical(root / "data"));
  EXPECT_TRUE(fs::exists(fs::path(dir) / "Media"));

  fs::remove(root / "app" / "data");
  fs::create_directories(root / "app" / "data");
  ASSERT_TRUE(FindSystemDirectory(exe, dir));
  EXPECT_EQ(fs::path(dir), fs::canonical(root / "app" / "data"));
  EXPECT_FALSE(FindSystemDirectory("quillfrost", dir));  // no directory part at all

  // An installed game finds the data directory from its own place in the installed tree.
  const fs::path installedExe = root / "prefix" / "lib" / "games" / "quillfrost" / "quillfrost";
  fs::create_directories(installedExe.parent_path());
  std::ofstream(installedExe) << "#!";
  EXPECT_FALSE(FindSystemDirectory(installedExe, dir));
  const fs::path installedData = installedExe.parent_path() / kInstalledDataFromExe;
  fs::create_directories(installedData / "Media");
  ASSERT_TRUE(FindSystemDirectory(installedExe, dir));
  EXPECT_EQ(fs::path(dir), fs::canonical(root / "prefix" / "share" / "quillfrost"));
  fs::remove_all(root);

  HeadlessApplication app;
  app.SystemDirectory = "/opt/quillfrost/data";
  ASSERT_TRUE(app.GetSystemDirectory(dir));
  EXPECT_EQ(dir, "/opt/quillfrost/data");
  app.SystemDirectory = "";
  dir = "unchanged";
  EXPECT_FALSE(app.GetSystemDirectory(dir));
  EXPECT_EQ(dir, "unchanged");
}
