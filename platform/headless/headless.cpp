#include "platform/headless/headless.h"

namespace qf {

void HeadlessWindow::Present(const uint32_t* pixels, int32_t width, int32_t height) {
  if (Destroyed() || !pixels || width < 1 || height < 1) return;
  lastFrame_.Width = width;
  lastFrame_.Height = height;
  lastFrame_.Pixels.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
  ++presentCount_;
}

void HeadlessWindow::NativeSetIcon(const uint32_t* pixels, int32_t width, int32_t height) {
  icon_.Width = width;
  icon_.Height = height;
  icon_.Pixels.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
}

void HeadlessApplication::Post(const Event& event) {
  if (event.Kind == ekPaint) {
    if (Window* w = MainWindow()) w->Invalidate();
    return;
  }
  queue_.push_back(event);
}

bool HeadlessApplication::PollEvent(Event& event) {
  if (queue_.empty()) return false;
  event = queue_.front();
  queue_.pop_front();
  return true;
}

void HeadlessApplication::BeforeRound() {
  if (OnIteration) OnIteration();
}

bool HeadlessApplication::Step() {
  if (!Terminated()) RunUntil(nullptr, 1);
  return !Terminated();
}

TRunResult HeadlessApplication::RunUntil(const std::function<bool()>& done,
                                         uint64_t maxIdleRounds) {
  return Loop(done, maxIdleRounds);
}

bool HeadlessApplication::GetSystemDirectory(std::string& dir) {
  if (!SystemDirectory) return CoreApplication::GetSystemDirectory(dir);
  if (SystemDirectory->empty()) return false;
  dir = *SystemDirectory;
  return true;
}

std::unique_ptr<CoreWindow> HeadlessApplication::NewWindow(const WindowDesc& desc) {
  return std::make_unique<HeadlessWindow>(*this, desc);
}

std::unique_ptr<Application> CreateHeadlessApplication() {
  return std::make_unique<HeadlessApplication>();
}

}  // namespace qf
