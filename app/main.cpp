// The program entry: the options, the application, the main window, the message loop.

#include <cstdio>
#include <exception>
#include <string_view>

#include "game/main_window.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  qf::GameOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--remember") {
      options.Remember = true;
    } else if (arg == "--forget") {
      options.Forget = true;
    } else {
      std::fprintf(stderr, "quillfrost: unknown option %s\nusage: quillfrost [--remember [--forget]]\n",
                   argv[i]);
      return 2;
    }
  }
  if (options.Forget && !options.Remember) {
    std::fprintf(stderr, "quillfrost: --forget goes with --remember\n");
    return 2;
  }
  try {
    std::unique_ptr<qf::Application> application = qf::CreateSdlApplication();
    qf::TfmMain fmMain(*application, options);
    application->Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Quillfrost: %s\n", e.what());
    return 1;
  }
  return 0;
}
