// The result of one install run: the success report (a JSON object) or one
// failure message.
#pragma once

#include <nlohmann/json.hpp>

#include "core/result.h"

namespace quarvel {

using RunOutcome = Result<nlohmann::json>;

}  // namespace quarvel
