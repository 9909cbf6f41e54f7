#include "MigWizard/FileSwap.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "MigWizard/ROvoradRes.h"
#include "MigWizard/WorkPool.h"
#include "rtl/FileIO.h"

namespace migwiz {

namespace {

// Below this, handing the calls to other threads costs more than they do.
constexpr size_t kSwapsForThePool = 128;

std::string CannotReplace(const std::string& path, const std::string& reason) {
  return rtl::Format(res::sCannotReplace, {path, reason});
}

// Puts To back as it was before its swap; kept is where KeepAside put it.
bool PutBack(const TFileSwap& swap, const std::string& kept) {
  if (!kept.empty()) return rtl::PutBack(kept, swap.To);
  if (!swap.Previous.empty()) return rtl::LinkOrCopyFile(swap.Previous, swap.To);
  return rtl::RemoveFile(swap.To);  // no file had the name
}

}  // namespace

void CheckReplaceable(const std::vector<TFileSwap>& swaps, TWorkPool* pool) {
  const size_t count = swaps.size();
  std::vector<std::string> folders(count), reasons(count);
  const size_t badFile = FirstFailure(
      count,
      [&](size_t i) {
        if (rtl::CanBeReplaced(swaps[i].To, folders[i])) return true;
        reasons[i] = rtl::LastFileError();
        return false;
      },
      pool, kSwapsForThePool);
  // Each folder is asked once; the file named for it is the first in order that lies there.
  std::unordered_map<std::string, size_t> firstIn;
  std::vector<std::pair<size_t, std::string>> byFirst;  // first file's index, folder
  for (size_t i = 0; i < badFile; ++i)
    if (firstIn.emplace(folders[i], i).second) byFirst.emplace_back(i, folders[i]);
  std::vector<std::string> folderReasons(byFirst.size());
  const size_t badFolder = FirstFailure(
      byFirst.size(),
      [&](size_t k) {
        if (rtl::CanWriteFolder(byFirst[k].second)) return true;
        folderReasons[k] = rtl::LastFileError();
        return false;
      },
      pool, kSwapsForThePool);
  if (badFolder < byFirst.size())
    throw ECannotReplace(CannotReplace(swaps[byFirst[badFolder].first].To, folderReasons[badFolder]));
  if (badFile < count) throw ECannotReplace(CannotReplace(swaps[badFile].To, reasons[badFile]));
}

void SwapAllOrNone(const std::vector<TFileSwap>& swaps, TSwapMode mode, TWorkPool* pool) {
  const size_t count = swaps.size();
  std::vector<std::string> kept(count), reasons(count);
  std::vector<char> done(count, 0);
  const size_t failed = FirstFailure(
      count,
      [&](size_t i) {
        const TFileSwap& s = swaps[i];
        bool ok = !s.Previous.empty() || rtl::KeepAside(s.To, kept[i]);
        if (ok)
          ok = mode == TSwapMode::Move ? rtl::MoveFileOver(s.From, s.To, true)
                                       : rtl::CopyFile(s.From, s.To);
        if (!ok) {
          reasons[i] = rtl::LastFileError();
          if (!kept[i].empty()) rtl::RemoveFile(kept[i]);
          kept[i].clear();
          return false;
        }
        done[i] = 1;
        return true;
      },
      pool, kSwapsForThePool);
  if (failed == count) {
    FirstFailure(
        count,
        [&](size_t i) {
          if (!kept[i].empty()) rtl::RemoveFile(kept[i]);
          return true;
        },
        pool, kSwapsForThePool);
    return;
  }
  // Later ranges may have gone on meanwhile: everything done goes back, the last first.
  std::string message = CannotReplace(swaps[failed].To, reasons[failed]);
  for (size_t i = count; i-- > 0;) {
    if (done[i] && !PutBack(swaps[i], kept[i]))
      message += "\n" + rtl::Format(res::sCannotPutBack, {swaps[i].To, rtl::LastFileError()});
  }
  throw ECannotReplace(message);
}

}  // namespace migwiz
