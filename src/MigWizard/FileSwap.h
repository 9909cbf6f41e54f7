// Putting new files in place of old ones, all of them or none: the last step of a replace run
// and the whole of a restore.
#pragma once

#include <string>
#include <vector>

#include "rtl/SysUtils.h"

namespace migwiz {

class TWorkPool;

// A file that could not be replaced; the message names it and gives the system's reason.
class ECannotReplace : public rtl::EInOutError {
 public:
  using EInOutError::EInOutError;
};

struct TFileSwap {
  std::string From;  // the complete new file
  std::string To;    // the file it replaces (or makes, when none has the name)
  // A file that holds To as it is now, such as a backup made just before; when empty, To is
  // kept aside under a second name while the swaps go on.
  std::string Previous;
};

enum class TSwapMode {
  Move,  // From is a work file, renamed into place (flushed to disk already)
  Copy,  // From stays (a backup that a restore copies back)
};

// Raises ECannotReplace for the first swap in order whose To cannot be replaced: its folder
// cannot be written, or something other than a file holds its name. One status call a file and
// one check a folder, on the pool for long lists.
void CheckReplaceable(const std::vector<TFileSwap>& swaps, TWorkPool* pool);

// Puts every From in place of its To, in order (on the pool for long lists). When one fails, every
// To already replaced is put back as it was, in reverse order, and ECannotReplace names the first
// that failed; a To that could not be put back is named too.
void SwapAllOrNone(const std::vector<TFileSwap>& swaps, TSwapMode mode, TWorkPool* pool);

}  // namespace migwiz
