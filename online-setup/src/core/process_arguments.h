// The process's argument list, split once from GetCommandLineW and then read
// by every part that needs it. Any thread.
#pragma once

#include "core/arguments.h"

namespace quarvel {

const ArgumentList& process_arguments();

}  // namespace quarvel
