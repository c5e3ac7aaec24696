#include "main/process_account_win32.h"

#include <windows.h>

#include <vector>

#include "core/owned_handle_win32.h"

namespace quarvel::win32 {

ProcessAccount process_account() {
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token))
    return ProcessAccount::kUser;
  const OwnedHandle token(raw_token);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  // Whole pointers, so the TOKEN_USER at its start is aligned as it must be.
  std::vector<void*> buffer((size + sizeof(void*) - 1) / sizeof(void*));
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
    return ProcessAccount::kUser;
  const PSID user = static_cast<TOKEN_USER*>(static_cast<void*>(buffer.data()))->User.Sid;
  // S-1-5-18, S-1-5-19 and S-1-5-20.
  if (IsWellKnownSid(user, WinLocalSystemSid))
    return ProcessAccount::kLocalSystem;
  if (IsWellKnownSid(user, WinLocalServiceSid))
    return ProcessAccount::kLocalService;
  if (IsWellKnownSid(user, WinNetworkServiceSid))
    return ProcessAccount::kNetworkService;
  return ProcessAccount::kUser;
}

}  // namespace quarvel::win32
