// Key security as Windows and Wine enforce it for this program's token.
#pragma once

#include "platform/image/sddl.h"
#include "platform/memory/registry_tree.h"

namespace cvp::memory {

// Generic rights mapped to key rights (GENERIC_READ and GENERIC_EXECUTE to KEY_READ,
// GENERIC_WRITE to KEY_WRITE, GENERIC_ALL to KEY_ALL_ACCESS).
Dword MapGenericKeyRights(Dword mask);

// AccessCheck for a key opened with `desired`, by a process of an administrator whose
// token holds Everyone, Administrators, Users and Authenticated Users. On success
// `*granted` is what the handle may do. The owner may always read and change the
// DACL; `ownedByAdministrators` false is a key another account owns.
Long CheckKeyAccess(const Dacl& dacl, Dword desired, Dword* granted,
                    bool ownedByAdministrators = true);

// SHDeleteKeyA as Wine runs it (RegDeleteTreeW): the key is opened for reading, its
// subkeys deleted depth first, then the key itself opened with DELETE and deleted. A
// key that refuses either stops the walk with ERROR_ACCESS_DENIED, keeping what was
// already deleted.
Long DeleteKeyTree(RegKey& parent, RegKey& key);

}  // namespace cvp::memory
