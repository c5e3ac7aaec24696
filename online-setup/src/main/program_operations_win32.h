// The real operations the entry dispatches to: window, install location,
// headless run, report and the message box. Entry thread.
#pragma once

#include "main/entry.h"

namespace quarvel {

const EntryOperations& program_operations();

}  // namespace quarvel
