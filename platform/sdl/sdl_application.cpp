#include "platform/sdl/sdl_application.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "base/errors.h"

namespace qf {

namespace {

constexpr const char* kNoDisplay = "No display could be opened";

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Starts SDL's video on the player's driver, or else on one that shows a window. Left to
// itself, SDL falls back to its offscreen driver and the game would play on where nobody
// sees it.
void StartVideo() {
  if (EnvironmentSet("SDL_VIDEODRIVER")) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
      throw std::runtime_error(Format("%s: %s", kNoDisplay, SDL_GetError()));
    return;
  }
  std::vector<const char*> drivers;
  if (EnvironmentSet("DISPLAY")) drivers.push_back("x11");
  if (EnvironmentSet("WAYLAND_DISPLAY")) drivers.push_back("wayland");
  if (drivers.empty())
    throw std::runtime_error(Format("%s: neither DISPLAY nor WAYLAND_DISPLAY is set", kNoDisplay));
  std::string reasons;
  for (const char* driver : drivers) {
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, driver, SDL_HINT_OVERRIDE);
    if (SDL_Init(SDL_INIT_VIDEO) == 0) return;
    reasons += (reasons.empty() ? "" : "; ") + std::string(SDL_GetError());
    SDL_Quit();
  }
  throw std::runtime_error(Format("%s: %s", kNoDisplay, reasons.c_str()));
}

}  // namespace

// ---------------------------------------------------------------------------------------------

SdlWindow::SdlWindow(SdlApplication& app, const WindowDesc& desc) : CoreWindow(app, desc) {
  // Fixed size: SDL windows are not resizable unless asked, and keep their minimise button.
  // Hidden and untitled until the renderer exists: an OpenGL renderer makes SDL destroy the
  // first native window and create another, and nobody (a window manager, a test looking
  // for the title) should meet the one that goes away.
  window_ = SDL_CreateWindow("", desc.Left, desc.Top, desc.ClientWidth, desc.ClientHeight,
                             SDL_WINDOW_HIDDEN);
  if (!window_) throw std::runtime_error(Format("Cannot create the window: %s", SDL_GetError()));
  id_ = SDL_GetWindowID(window_);
  // Vertical sync where the display offers it keeps a running game from spinning a core.
  renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
  if (renderer_) {
    // The software renderer reports vertical sync but presents without waiting.
    SDL_RendererInfo info{};
    vsync_ = SDL_GetRendererInfo(renderer_, &info) == 0 &&
             (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0 &&
             (info.flags & SDL_RENDERER_SOFTWARE) == 0;
  } else {
    renderer_ = SDL_CreateRenderer(window_, -1, 0);
  }
  if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  if (!renderer_) {
    const std::string reason = SDL_GetError();
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    throw std::runtime_error("Cannot draw into the window: " + reason);
  }
  SDL_SetWindowTitle(window_, desc.Title.c_str());
  PaceFrames();
  SDL_ShowWindow(window_);
}

void SdlWindow::PaceFrames() {
  // With vertical sync the display paces the frames; a wait of ours on top of it could only
  // make one miss its moment.
  if (vsync_) {
    SetFrameRate(0);
    return;
  }
  SDL_DisplayMode mode{};
  const int display = SDL_GetWindowDisplayIndex(window_);
  const int refresh =
      display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 ? mode.refresh_rate : 0;
  SetFrameRate(refresh > 0 ? refresh : kDefaultRefreshRate);
}

SdlWindow::~SdlWindow() { NativeDestroy(); }

void SdlWindow::NativeSetTitle(const std::string& title) {
  if (window_) SDL_SetWindowTitle(window_, title.c_str());
}

void SdlWindow::NativeSetIcon(const uint32_t* pixels, int32_t width, int32_t height) {
  if (!window_) return;
  // The surface only borrows the pixels; SDL copies them into the window's icon.
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels), width,
                                                         height, 32, width * 4,
                                                         SDL_PIXELFORMAT_ARGB8888);
  if (!icon) return;
  SDL_SetWindowIcon(window_, icon);
  SDL_FreeSurface(icon);
}

void SdlWindow::NativeHide() {
  if (window_) SDL_HideWindow(window_);
}

void SdlWindow::NativeDestroy() {
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  if (window_) SDL_DestroyWindow(window_);
  texture_ = nullptr;
  renderer_ = nullptr;
  window_ = nullptr;
}

bool SdlWindow::CanPaint() const {
  return window_ &&
         (SDL_GetWindowFlags(window_) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) == 0;
}

void SdlWindow::Present(const uint32_t* pixels, int32_t width, int32_t height) {
  if (!renderer_ || !pixels || width < 1 || height < 1) return;
  if (!texture_ || width != textureWidth_ || height != textureHeight_) {
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                 SDL_TEXTUREACCESS_STREAMING, width, height);
    textureWidth_ = texture_ ? width : 0;
    textureHeight_ = texture_ ? height : 0;
    if (!texture_) return;
    SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_NONE);
  }
  // A failed frame is skipped; the next repaint tries again.
  if (SDL_UpdateTexture(texture_, nullptr, pixels, width * 4) != 0) return;
  const SDL_Rect dst{0, 0, width, height};
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
  SDL_RenderPresent(renderer_);
  ++presentCount_;
}

std::string SdlWindow::NativeTitle() const {
  return window_ ? std::string(SDL_GetWindowTitle(window_)) : std::string();
}

void SdlWindow::NativeClientSize(int32_t& width, int32_t& height) const {
  width = height = 0;
  if (window_) SDL_GetWindowSize(window_, &width, &height);
}

bool SdlWindow::NativeResizable() const {
  return window_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_RESIZABLE) != 0;
}

// ---------------------------------------------------------------------------------------------

SdlApplication::SdlApplication() {
  StartVideo();
  // Keys arrive as key events; the text-input events are not wanted.
  SDL_StopTextInput();
}

SdlApplication::~SdlApplication() {
  sound_.Close();
  if (SdlWindow* w = MainSdlWindow()) w->NativeDestroy();
  SDL_Quit();
}

std::unique_ptr<CoreWindow> SdlApplication::NewWindow(const WindowDesc& desc) {
  return std::make_unique<SdlWindow>(*this, desc);
}

bool SdlApplication::PollEvent(Event& event) {
  SdlWindow* w = MainSdlWindow();
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
      case SDL_QUIT:  // the last window's close button, or an interrupt signal
        event = Event{ekClose, 0, 0};
        return true;
      case SDL_WINDOWEVENT:
        if (!w || e.window.windowID != w->NativeId()) break;
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
          event = Event{ekClose, 0, 0};
          return true;
        }
        if (e.window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED) w->PaceFrames();
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED ||
            e.window.event == SDL_WINDOWEVENT_RESTORED ||
            e.window.event == SDL_WINDOWEVENT_SHOWN)
          w->Invalidate();
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const TVirtualKey key = VirtualKeyFromSdl(e.key.keysym.sym);
        if (key == 0) break;
        const Uint16 mod = e.key.keysym.mod;
        TShiftState shift = 0;
        if (mod & KMOD_SHIFT) shift |= ssShift;
        if (mod & KMOD_ALT) shift |= ssAlt;
        if (mod & KMOD_CTRL) shift |= ssCtrl;
        event = Event{e.type == SDL_KEYDOWN ? ekKeyDown : ekKeyUp, key, shift};
        return true;
      }
      default:
        break;
    }
  }
  return false;
}

void SdlApplication::PushNativeKey(int32_t sym, bool down, bool repeat) {
  SdlWindow* w = MainSdlWindow();
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = w ? w->NativeId() : 0;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat ? 1 : 0;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
  SDL_PushEvent(&e);
}

bool SdlApplication::WaitEvent() { return SDL_WaitEvent(nullptr) == 1; }

bool SdlApplication::WaitEventTimeout(uint32_t ms) {
  SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<uint32_t>(ms, INT_MAX)));
  return true;  // an event came, or the time has passed
}

std::unique_ptr<Application> CreateSdlApplication() { return std::make_unique<SdlApplication>(); }

// ---------------------------------------------------------------------------------------------

TVirtualKey VirtualKeyFromSdl(int32_t sym) {
  if (sym >= SDLK_a && sym <= SDLK_z) return static_cast<TVirtualKey>('A' + (sym - SDLK_a));
  if (sym >= SDLK_0 && sym <= SDLK_9) return static_cast<TVirtualKey>('0' + (sym - SDLK_0));
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return static_cast<TVirtualKey>(VK_F1 + (sym - SDLK_F1));
  if (sym >= SDLK_KP_1 && sym <= SDLK_KP_9)
    return static_cast<TVirtualKey>(VK_NUMPAD0 + 1 + (sym - SDLK_KP_1));
  switch (sym) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    default: return 0;
  }
}

}  // namespace qf
