// The fault seams of FileIO.h, shared by its POSIX and Windows sides, for the tests that kill a
// run or fill the disk. Inert until a host sets a plan (kymigwiz from MIGWIZ_FAULT_KILL_AT and
// MIGWIZ_FAULT_ENOSPC_AT); a limit of 0 leaves its seam inert.
#pragma once

namespace rtl::fault {

// Set once, before the first file-system mutation: the killAt-th mutation ends the process, the
// failAt-th write fails as a full disk.
void SetPlan(long killAt, long failAt);

// Called right before every file-system mutation; the N-th ends the process at once, as SIGKILL
// would (on Windows with the code a shell gives that).
void BeforeMutation();
// Called for every write, after BeforeMutation: true for the N-th, and the caller then fails that
// write as a full disk.
bool WriteFails();

}  // namespace rtl::fault
