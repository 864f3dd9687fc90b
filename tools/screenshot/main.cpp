// screenshot: pictures of the game's window, made by the real main window on the headless
// platform with a fixed seed, the clock moved 16 ms a frame and the arena's autopilot at the
// keys (tools/arena), then a few keys pressed by hand. Same program, same bytes.
//
//   screenshot [--data DIR] [--out DIR] [FILE...]
//
// Writes every shot of the table below, or only the files named, into <out> (default: the
// working directory). The game's log.txt goes to a temporary directory and is thrown away.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "tools/arena/arena.h"
#include "tools/arena/command_line.h"
#include "tools/png/png_writer.h"

namespace fs = std::filesystem;

namespace {

struct Shot {
  const char* File;
  uint32_t Seed;
  uint64_t Frames;                   // played by the autopilot first
  std::vector<qf::TVirtualKey> Keys;  // then pressed one by one, a frame played after each
};

// A new picture is a new line here (and its file under docs/, made by `make docs-pictures`).
const std::vector<Shot> kShots = {
    // A wave in full flight: invaders steering and bombing, the ship firing back.
    {"screenshot-game.png", 1, 975, {}},
};

int Usage(const char* problem) {
  std::fprintf(stderr, "screenshot: %s\nusage: screenshot [--data DIR] [--out DIR] [FILE...]\n", problem);
  return 2;
}

void Take(const Shot& shot, const fs::path& data, const fs::path& out, const fs::path& scratch) {
  qf::arena::ArenaOptions options;
  options.Seed = shot.Seed;
  options.Generations = 1000000;
  options.MaxFrames = shot.Frames;
  options.ComposeView = true;
  options.DataDir = data;
  options.OutDir = scratch;
  qf::arena::Arena arena(options);
  arena.Run();
  for (qf::TVirtualKey key : shot.Keys) {
    arena.App().PostKey(key);
    arena.Frame();
  }
  const qf::Frame& frame = arena.App().MainHeadlessWindow()->LastFrame();
  qf::WritePngFile(out / shot.File, qf::EncodePng(frame.Pixels.data(), frame.Width, frame.Height, qf::PngAlpha::Drop));
}

}  // namespace

int main(int argc, char** argv) {
  fs::path data, out = ".";
  std::vector<std::string> wanted;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "--data" || arg == "--out") && i + 1 < argc) {
      (arg == "--data" ? data : out) = argv[++i];
    } else if (arg.starts_with("--")) {
      return Usage(("unknown option " + std::string(arg)).c_str());
    } else {
      wanted.emplace_back(arg);
    }
  }
  for (const std::string& file : wanted) {
    bool known = false;
    for (const Shot& shot : kShots) known = known || file == shot.File;
    if (!known) return Usage(("no shot writes " + file).c_str());
  }
  const fs::path scratch = fs::temp_directory_path() / ("quillfrost-screenshot-" + std::to_string(::getpid()));
  try {
    if (data.empty()) data = qf::arena::DefaultDataDir();
    fs::create_directories(out);
    fs::create_directories(scratch);
    for (const Shot& shot : kShots) {
      if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), shot.File) == wanted.end()) continue;
      Take(shot, fs::absolute(data), fs::absolute(out), scratch);
      std::printf("%s\n", (out / shot.File).c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "screenshot: %s\n", e.what());
    fs::remove_all(scratch);
    return 1;
  }
  fs::remove_all(scratch);
  return 0;
}
