// Whether a start may use the folders of the account it runs as. The program
// installs per user: under a service account (deployment tools often run
// installers as LocalSystem) the default install location and cache would lie
// in that account's own profile, where no person ever finds them. A pure
// function, entry thread.
#pragma once

#include <optional>
#include <string_view>

#include "core/arguments.h"

namespace quarvel {

enum class ProcessAccount { kUser, kLocalSystem, kLocalService, kNetworkService };

// The message that refuses the start, or nullopt when it may go ahead: an
// ordinary user always may; a service account only when neither folder would
// come from its profile or its working folder, that is with an absolute
// --cache-dir and, unless the run ends after the download, an absolute
// --install-dir.
std::optional<std::string_view> service_account_refusal(ProcessAccount account,
                                                        const ArgumentList& arguments);

}  // namespace quarvel
