#pragma once
// The seam to the operating system: one application object with its message loop, one main
// window that shows a composed pixel buffer and reports keys, sound playback from memory and
// the system directory. The game sees only this header; platform/sdl/ is the real
// implementation, platform/headless/ drives the same loop from a scripted event queue.
//
// How a frame is driven. Run() processes every pending event; when none is left it raises
// OnIdle with wait preset to true. If the handler leaves wait true and still nothing is
// pending, the loop blocks until the next event. A repaint request is dispatched only once
// every other pending event has been handled, and several requests before it make one paint.
// Where the display does not hold back the frames itself (no vertical sync), the real window
// paces its repaints at the display's refresh rate: a repaint waits for its time while events
// go on being dispatched at once, and no idle is raised before it has been shown.
//
// Errors. An exception escaping any handler (keys, paint, idle, close) stops at the loop: the
// silent abort qf::EAbort is swallowed, anything else is printed on standard error, and the
// loop goes on with the next event.
//
// Ending. Closing the main window (Close(), the close button) sets the terminated flag at once,
// so ProcessMessages() dispatches nothing more and the engine can abort its evaluation. The
// loop itself ends when control is back at its top level; only then does the window's
// OnDestroy run, so game state is never freed under a handler that is still on the stack.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/message_pump.h"
#include "platform/keys.h"

namespace qf {

// Geometry and title of a window. The defaults are the game's main window.
struct WindowDesc {
  std::string Title;
  int32_t Left = 225;  // of the client area, on the screen
  int32_t Top = 113;
  int32_t ClientWidth = 471;
  int32_t ClientHeight = 503;
};

// A fixed-size top-level window: not resizable, minimisable, closable. The application owns
// it; the object stays valid until the application is destroyed, but after OnDestroy has run
// it shows nothing more.
class Window {
public:
  virtual ~Window() = default;

  // Handlers, each tested before it is called. Key events carry the virtual-key code
  // (platform/keys.h); auto-repeated key-downs are delivered like the first one.
  std::function<void(TVirtualKey key, TShiftState shift)> OnKeyDown;
  std::function<void(TVirtualKey key, TShiftState shift)> OnKeyUp;
  // Composes the view and calls Present(). Runs for a repaint request or when the system
  // needs the client area redrawn.
  std::function<void()> OnPaint;
  // Runs once, when the message loop ends after the window was closed.
  std::function<void()> OnDestroy;

  virtual const std::string& Title() const = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual int32_t ClientWidth() const = 0;
  virtual int32_t ClientHeight() const = 0;

  // Queues one paint event unless one is already pending.
  virtual void Invalidate() = 0;

  // Shows a composed top-down 32-bit ARGB buffer (alpha ignored) in the client area at 1:1,
  // rows of `width` pixels without padding. Called from OnPaint. A null buffer or a size
  // below 1 shows nothing.
  virtual void Present(const uint32_t* pixels, int32_t width, int32_t height) = 0;

  // The picture that task bars and window switchers show for the window: a top-down 32-bit
  // ARGB buffer with alpha (not premultiplied), rows without padding. The data is copied. A
  // null buffer or a size below 1 changes nothing.
  virtual void SetIcon(const uint32_t* pixels, int32_t width, int32_t height) = 0;

  // Closes the window as its close button does: terminates the application; the loop then
  // ends and runs OnDestroy. Closing twice is harmless.
  virtual void Close() = 0;
  virtual bool Closed() const = 0;
};

// The application object. Exactly one exists at a time; while it lives it is the message pump
// of base/message_pump.h, so the engine's ProcessMessages() and ApplicationTerminated() reach
// it.
class Application : public MessagePump {
public:
  // Idle notification, raised when the event queue has been emptied. `wait` comes in true:
  // leave it so to block until the next event, set it false to be called again at once.
  std::function<void(bool& wait)> OnIdle;

  // Creates the main window (once) and shows it.
  virtual Window& CreateMainWindow(const WindowDesc& desc) = 0;
  // The main window, or nullptr before it is created.
  virtual Window* MainWindow() = 0;

  // Runs the message loop until the main window is closed (returns at once without a main
  // window). Not re-entrant.
  virtual void Run() = 0;

  // Dispatches every pending event (repaints included) without raising idle; dispatches
  // nothing once the application is terminated.
  void ProcessMessages() override = 0;
  bool Terminated() const override = 0;
  // Asks the loop to end, as closing the main window does.
  virtual void Terminate() = 0;

  // Plays a complete WAV file image held in memory, asynchronously: the call returns at once
  // and a new sound replaces the one still playing. There is no default sound: empty or
  // undecodable data plays nothing, and without an audio device everything is silent.
  virtual void PlayWave(const std::string& wave) = 0;

  // The directory below which the system sounds lie (Media/chimes.wav, Media/tada.wav). On
  // Linux it is the game's data directory, found from the executable's own location
  // (/proc/self/exe), never from the environment or the command line: the first of
  // <executable's directory>/data, <executable's directory>/../data and, for an installed
  // game in <prefix>/lib/games/quillfrost, <prefix>/share/quillfrost that exists. The
  // build puts the data directory at <build>/data and the game at <build>/app/quillfrost.
  // Returns false, leaving `dir` alone, when there is none.
  virtual bool GetSystemDirectory(std::string& dir) = 0;
};

// The live application, or nullptr.
Application* CurrentApplication();

// The real implementation. Initialises the windowing system; throws std::runtime_error
// beginning "No display could be opened" when there is no display to show the window on.
// Only drivers that show a window are tried (X11 where DISPLAY is set, Wayland where
// WAYLAND_DISPLAY is), unless the player names one in SDL_VIDEODRIVER.
std::unique_ptr<Application> CreateSdlApplication();

// The headless implementation: nothing is shown or heard; see platform/headless/headless.h
// for the calls that drive it in tests and tools.
std::unique_ptr<Application> CreateHeadlessApplication();

// The browser implementation, in the WebAssembly build only: see platform/web/.
std::unique_ptr<Application> CreateWebApplication();

}  // namespace qf
