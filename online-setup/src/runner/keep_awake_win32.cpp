#include <windows.h>

#include "runner/keep_awake.h"

namespace quarvel {
namespace {

// The state is the calling thread's: ES_CONTINUOUS keeps it until the same
// thread changes it or ends. ES_DISPLAY_REQUIRED is left out on purpose.
class ThreadExecutionState final : public KeepAwake {
 public:
  void hold() override { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }
  void release() override { SetThreadExecutionState(ES_CONTINUOUS); }
};

}  // namespace

KeepAwake& system_keep_awake() {
  static ThreadExecutionState keep_awake;
  return keep_awake;
}

}  // namespace quarvel
