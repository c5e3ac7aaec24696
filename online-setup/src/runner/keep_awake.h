// Keeping the machine awake while a run works: while the request is held the
// system does not go to sleep for idleness (the display still may). The
// request belongs to the thread that made it, so a run holds it on its own
// thread and lets go of it on every path. Install run's thread.
#pragma once

namespace quarvel {

class KeepAwake {
 public:
  virtual ~KeepAwake() = default;
  // Asks the system to stay awake; a refusal changes nothing for the run.
  virtual void hold() = 0;
  // Withdraws the request of this thread.
  virtual void release() = 0;
};

// Holds the request from its construction to its destruction.
class KeepAwakeScope {
 public:
  explicit KeepAwakeScope(KeepAwake& keep_awake) : keep_awake_(keep_awake) { keep_awake_.hold(); }
  ~KeepAwakeScope() { keep_awake_.release(); }
  KeepAwakeScope(const KeepAwakeScope&) = delete;
  KeepAwakeScope& operator=(const KeepAwakeScope&) = delete;

 private:
  KeepAwake& keep_awake_;
};

// SetThreadExecutionState (Windows only).
KeepAwake& system_keep_awake();

}  // namespace quarvel
