// The account of the process's own token. Entry thread.
#pragma once

#include "main/service_account.h"

namespace quarvel::win32 {

// The account the token's user is: one of the three service accounts by its
// well-known SID, else an ordinary user. A token that cannot be read gives no
// reason to refuse a person's install: kUser.
ProcessAccount process_account();

}  // namespace quarvel::win32
