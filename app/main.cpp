// The program entry: the application, the main window, the message loop.

#include <cstdio>
#include <exception>

#include "game/main_window.h"
#include "platform/platform.h"

int main() {
  try {
    std::unique_ptr<qf::Application> application = qf::CreateSdlApplication();
    qf::TfmMain fmMain(*application);
    application->Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Quillfrost: %s\n", e.what());
    return 1;
  }
  return 0;
}
