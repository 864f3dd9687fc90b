// The program entry: the command line, the application, the main window, the message loop.

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "base/version.h"
#include "game/main_window.h"
#include "platform/platform.h"

namespace {

constexpr const char* kUsage = "usage: quillfrost [--help] [--version]";
constexpr const char* kHelp =
    "Quillfrost, an arcade game whose invaders learn while you play (see quillfrost(6)).\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n";

// What the command line asks for.
struct Options {
  bool Help = false;
  bool Version = false;
};

// False, naming the argument in `bad`, for anything that is not an option of the program.
bool ParseOptions(int argc, char** argv, Options& options, std::string& bad) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
    } else if (arg == "--version") {
      options.Version = true;
    } else {
      bad = arg;
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (std::string bad; !ParseOptions(argc, argv, options, bad)) {
    std::fprintf(stderr, "Quillfrost: unknown argument '%s'\n%s\n", bad.c_str(), kUsage);
    return 2;
  }
  if (options.Help) {
    std::printf("%s\n%s", kUsage, kHelp);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (options.Version) {
    std::printf("Quillfrost %s\n", qf::kVersion);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  try {
    std::unique_ptr<qf::Application> application = qf::CreateSdlApplication();
    qf::TfmMain fmMain(*application);
    application->Run();
    if (!fmMain.LogWriteError().empty()) {
      std::fprintf(stderr, "Quillfrost: %s\n", fmMain.LogWriteError().c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Quillfrost: %s\n", e.what());
    return 1;
  }
  return 0;
}
