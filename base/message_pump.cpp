#include "base/message_pump.h"

namespace qf {

namespace {
MessagePump* g_pump = nullptr;
}

void SetMessagePump(MessagePump* pump) { g_pump = pump; }

void ProcessMessages() {
  if (g_pump) g_pump->ProcessMessages();
}

bool ApplicationTerminated() { return g_pump && g_pump->Terminated(); }

}  // namespace qf
