#include "platform/web/web_application.h"

#include <emscripten.h>
#include <emscripten/html5.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace qf {

namespace {

// Where the page's files are put in the program's file system (see CMakeLists.txt).
constexpr const char* kDataDir = "/quillfrost";

WebApplication* g_web = nullptr;

// clang-format off
EM_JS(int, qf_js_hand_clock, (uint32_t* start), {
  var m = /[?&]clock=([0-9]+)/.exec(typeof location == "object" ? location.search : "");
  if (!m) return 0;
  HEAPU32[start >> 2] = Number(m[1]) >>> 0;
  return 1;
});

EM_JS(void, qf_js_set_title, (const char* title), {
  document.title = UTF8ToString(title);
});

EM_JS(void, qf_js_set_icon, (const uint32_t* rgba, int width, int height), {
  var canvas = document.createElement("canvas");
  canvas.width = width;
  canvas.height = height;
  var bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
  canvas.getContext("2d").putImageData(new ImageData(bytes, width, height), 0, 0);
  var link = document.querySelector("link[rel=icon]");
  if (!link) {
    link = document.createElement("link");
    link.rel = "icon";
    document.head.appendChild(link);
  }
  link.href = canvas.toDataURL("image/png");
});

EM_JS(void, qf_js_present, (const uint32_t* rgba, int width, int height), {
  var canvas = Module.canvas;
  if (!canvas) return;
  if (canvas.width != width || canvas.height != height) {
    canvas.width = width;
    canvas.height = height;
  }
  var ctx = Module.qfContext || (Module.qfContext = canvas.getContext("2d"));
  var bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
  ctx.putImageData(new ImageData(bytes, width, height), 0, 0);
  if (!Module.firstFrameTime) {
    Module.firstFrameTime = performance.now();
    if (Module.onFirstFrame) Module.onFirstFrame();
  }
});

// Sounds: each WAV image is copied once into the page; it is decoded once the audio context
// exists, which browsers allow only from a gesture, so the context is made at the first key.
EM_JS(void, qf_js_audio_init, (), {
  Module.qfSound = { ctx: null, waves: [], playing: null };
  Module.qfSound.decode = function(wave) {
    var s = Module.qfSound;
    if (!s.ctx || wave.pending) return;
    wave.pending = s.ctx.decodeAudioData(wave.bytes.slice(0)).then(
        function(buffer) { wave.buffer = buffer; return buffer; },
        function() { return null; });
  };
});

EM_JS(void, qf_js_audio_unlock, (), {
  var s = Module.qfSound;
  if (s.ctx) {
    if (s.ctx.state == "suspended") s.ctx.resume();
    return;
  }
  var AudioContextClass = window.AudioContext || window.webkitAudioContext;
  if (!AudioContextClass) return;
  try {
    s.ctx = new AudioContextClass();
  } catch (e) {
    return;
  }
  s.waves.forEach(s.decode);
});

EM_JS(void, qf_js_play, (int id, const char* data, int size), {
  var s = Module.qfSound;
  if (!s.waves[id]) s.waves[id] = { bytes: HEAPU8.slice(data, data + size).buffer };
  var wave = s.waves[id];
  if (!s.ctx || s.ctx.state != "running") return;  // silent until a key has been pressed
  s.decode(wave);
  wave.pending.then(function(buffer) {
    if (!buffer) return;  // not a sound the browser can decode: nothing plays
    if (s.playing) s.playing.stop();
    var source = s.ctx.createBufferSource();
    source.buffer = buffer;
    source.connect(s.ctx.destination);
    source.start();
    s.playing = source;
  });
});

EM_JS(char*, qf_js_player_storage, (int* remember, int* forget), {
  var p = Module.qfPlayer;
  if (!p || !p.remember) return 0;
  HEAP32[remember >> 2] = 1;
  HEAP32[forget >> 2] = p.forget ? 1 : 0;
  return p.problem ? allocateUTF8(p.problem) : 0;
});

EM_JS(void, qf_js_keep_player, (), {
  if (Module.qfPlayer) Module.qfPlayer.keep();
});

// The log in the console, and to the page's closing screen, which offers it for download.
EM_JS(void, qf_js_closed, (const char* log, int size), {
  var text = new TextDecoder("latin1").decode(HEAPU8.subarray(log, log + size));
  console.log("log.txt:\n" + text);
  if (Module.onGameEnded) Module.onGameEnded(text);
});
// clang-format on

void RoundThunk(void* app) { static_cast<WebApplication*>(app)->Round(); }

// Virtual-key codes are the page's key codes for every key the game knows.
TVirtualKey KeyCode(const EmscriptenKeyboardEvent& e) {
  return e.keyCode > 0 && e.keyCode < 256 ? static_cast<TVirtualKey>(e.keyCode) : 0;
}

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* e, void* app) {
  if (type == EMSCRIPTEN_EVENT_KEYDOWN) qf_js_audio_unlock();
  const TShiftState shift = (e->shiftKey ? ssShift : 0) | (e->altKey ? ssAlt : 0) |
                            (e->ctrlKey ? ssCtrl : 0);
  const bool game = static_cast<WebApplication*>(app)->Key(type == EMSCRIPTEN_EVENT_KEYDOWN,
                                                           KeyCode(*e), shift);
  // The browser keeps its own shortcuts (Ctrl+R, Alt+Left, ...).
  return game && !e->ctrlKey && !e->altKey && !e->metaKey;
}

EM_BOOL OnBlur(int, const EmscriptenFocusEvent*, void* app) {
  static_cast<WebApplication*>(app)->ReleaseHeldKeys();
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

// ARGB words to a canvas's R, G, B, A bytes; `opaque` sets every alpha to 255.
void ToCanvasBytes(const uint32_t* pixels, int32_t width, int32_t height, bool opaque,
                   std::vector<uint32_t>& out) {
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  out.resize(count);
  const uint32_t alpha = opaque ? 0xFF000000u : 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t p = pixels[i];
    out[i] = alpha | (p & 0xFF00FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
  }
}

void WebWindow::Present(const uint32_t* pixels, int32_t width, int32_t height) {
  if (Destroyed() || !pixels || width < 1 || height < 1) return;
  // The view's alpha is not shown.
  ToCanvasBytes(pixels, width, height, true, rgba_);
  qf_js_present(rgba_.data(), width, height);
}

// The window's icon becomes the page's.
void WebWindow::NativeSetIcon(const uint32_t* pixels, int32_t width, int32_t height) {
  std::vector<uint32_t> rgba;
  ToCanvasBytes(pixels, width, height, false, rgba);
  qf_js_set_icon(rgba.data(), width, height);
}

void WebWindow::NativeSetTitle(const std::string& title) { qf_js_set_title(title.c_str()); }

// ---------------------------------------------------------------------------------------------

PlayerStorage AskedPlayerStorage() {
  PlayerStorage storage;
  int remember = 0;
  int forget = 0;
  char* problem = qf_js_player_storage(&remember, &forget);
  storage.Remember = remember != 0;
  storage.Forget = forget != 0;
  if (problem) {
    storage.Problem = problem;
    std::free(problem);
  }
  return storage;
}

void KeepPlayerDirectory() { qf_js_keep_player(); }

// ---------------------------------------------------------------------------------------------

WebApplication::WebApplication() {
  g_web = this;
  if (chdir(kDataDir) != 0) {
    // Without its files the game still runs, with empty pictures and no sound.
  }
  uint32_t start = 0;
  if (qf_js_hand_clock(&start)) clock_ = std::make_unique<ManualClock>(start);
  qf_js_audio_init();
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, true, OnKey);
  emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, true, OnKey);
  emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, true, OnBlur);
}

WebApplication::~WebApplication() {
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, nullptr);
  emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, nullptr);
  emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, nullptr);
  if (g_web == this) g_web = nullptr;
}

std::unique_ptr<CoreWindow> WebApplication::NewWindow(const WindowDesc& desc) {
  auto window = std::make_unique<WebWindow>(*this, desc);
  qf_js_set_title(desc.Title.c_str());
  return window;
}

void WebApplication::Run() {
  if (!MainWindow() || HandDriven()) return;
  emscripten_set_main_loop_arg(RoundThunk, this, 0, false);
}

void WebApplication::Round() {
  if (finished_) return;
  // The desktop's loop would not block here: a frame that asked for a repaint (which this
  // platform paints at once) is followed by the next, and so is any event.
  if (!Terminated() && (!waiting_ || repainted_ || !queue_.empty())) {
    ProcessMessages();  // the keys
    if (!Terminated()) {
      bool wait = true;
      try {
        if (OnIdle) OnIdle(wait);
      } catch (...) {
        HandleException();
      }
      waiting_ = wait;
      const CoreWindow* w = static_cast<const CoreWindow*>(MainWindow());
      repainted_ = w && w->PaintPending();
      ProcessMessages();  // the repaint the frame asked for
    }
  }
  if (Terminated()) Finish();
}

void WebApplication::Finish() {
  finished_ = true;
  if (!HandDriven()) emscripten_cancel_main_loop();
  FinishIfTerminated();
  std::ifstream file("log.txt", std::ios::binary);
  const std::string log{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  qf_js_closed(log.data(), static_cast<int>(log.size()));
}

void WebApplication::AdvanceClock(uint32_t ms) {
  if (clock_) clock_->Advance(ms);
}

bool WebApplication::Key(bool down, TVirtualKey key, TShiftState shift) {
  if (key == 0) return false;
  if (down) held_.insert(key);
  else held_.erase(key);
  if (!Terminated()) queue_.push_back(Event{down ? ekKeyDown : ekKeyUp, key, shift});
  switch (key) {
    case VK_ESCAPE: case VK_SPACE: case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
    case 'P': case 'Y': case 'N': case 'L':
      return true;
    default:
      return false;
  }
}

void WebApplication::ReleaseHeldKeys() {
  for (TVirtualKey key : held_)
    if (!Terminated()) queue_.push_back(Event{ekKeyUp, key, 0});
  held_.clear();
}

bool WebApplication::PollEvent(Event& event) {
  if (queue_.empty()) return false;
  event = queue_.front();
  queue_.pop_front();
  return true;
}

void WebApplication::PlayWave(const std::string& wave) {
  if (wave.empty()) return;
  const auto [it, added] = sounds_.emplace(wave, static_cast<int>(sounds_.size()));
  qf_js_play(it->second, wave.data(), static_cast<int>(wave.size()));
}

bool WebApplication::GetSystemDirectory(std::string& dir) {
  dir = kDataDir;
  return true;
}

std::unique_ptr<Application> CreateWebApplication() { return std::make_unique<WebApplication>(); }

}  // namespace qf

// The hand-driven page's one control: move the clock by `ms` and run one round.
extern "C" EMSCRIPTEN_KEEPALIVE void qf_web_step(uint32_t ms) {
  if (!qf::g_web) return;
  qf::g_web->AdvanceClock(ms);
  qf::g_web->Round();
}
