// The fault seams of FileIO.h, shared by its POSIX and Windows sides. Each limit is read once
// per process; a variable that is unset or 0 leaves its seam inert.
#pragma once

namespace rtl::fault {

// Called right before every file-system mutation; the N-th ends the process at once when
// MIGWIZ_FAULT_KILL_AT=N, as SIGKILL would (on Windows with the code a shell gives that).
void BeforeMutation();
// Called for every write, after BeforeMutation: true for the N-th when MIGWIZ_FAULT_ENOSPC_AT=N,
// and the caller then fails that write as a full disk.
bool WriteFails();

}  // namespace rtl::fault
