#pragma once
// The hook through which long engine calls let the application breathe: process pending
// window messages, and learn whether the application is terminating. The platform installs
// the real pump; without one, processing does nothing and nothing terminates, so the engine
// runs headless in tests and examples.

namespace qf {

class MessagePump {
public:
  virtual ~MessagePump() = default;
  virtual void ProcessMessages() = 0;
  virtual bool Terminated() const = 0;
};

// Installs the pump (nullptr restores the default that does nothing). Not owned.
void SetMessagePump(MessagePump* pump);

// Processes every pending message through the installed pump.
void ProcessMessages();

// True when the application has been asked to terminate.
bool ApplicationTerminated();

}  // namespace qf
