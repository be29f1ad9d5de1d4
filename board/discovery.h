// Discovery: finding the VFGs of the board family and opening each. The console, the exporter
// and the snapshot tool all find their VFGs through here.
#ifndef BOARDSTAT_BOARD_DISCOVERY_H_
#define BOARDSTAT_BOARD_DISCOVERY_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "board/board_access.h"

namespace boardstat {

/// The most VFGs a program finds and opens. Discovery stops there, so a larger system shows
/// its first 32.
inline constexpr size_t kMaxVfgs = 32;

/// One VFG as discovery found it.
struct FoundVfg {
  LmBrdEntry entry{};
  KvHandle handle = nullptr;
  bool open = false;
  uint32_t index = 0;  // in discovery order: what names the VFG's lock
};

/// Whether discovery goes on past a VFG that fails to open.
enum class OnFailedOpen { kStop, kGoOn };

/// Looks for VFG `index` and, when it is found, tries to open it. False when LmSysBrdFind does
/// not find it (`vfg` is then left as it was).
bool find_vfg(uint32_t index, FoundVfg& vfg);

/// Tries again to open a found VFG whose open failed; true when it is open.
bool open_vfg(FoundVfg& vfg);

/// Finds VFG vfgs.size(), then the next, and so on, and tries to open each, until one is not
/// found or kMaxVfgs are held; with kStop also after the first that fails to open. Appends
/// what it found (a type derived from FoundVfg may carry more) and returns how many. Called
/// again later, it looks only past the VFGs it already holds.
template <typename Vfg>
size_t find_vfgs(std::vector<Vfg>& vfgs, OnFailedOpen on_failed_open) {
  size_t added = 0;
  while (vfgs.size() < kMaxVfgs) {
    Vfg vfg;
    if (!find_vfg(static_cast<uint32_t>(vfgs.size()), vfg)) break;
    vfgs.push_back(std::move(vfg));
    ++added;
    if (!vfgs.back().open && on_failed_open == OnFailedOpen::kStop) break;
  }
  return added;
}

/// How many VFGs past the first kMaxVfgs LmSysBrdFind finds (looking no further than 4096):
/// those that discovery leaves out. Opens nothing.
size_t count_vfgs_left_out();

/// "1 VFG", "3 VFGs": a number of VFGs as the programs say it.
std::string vfgs_text(size_t n);

}  // namespace boardstat

#endif  // BOARDSTAT_BOARD_DISCOVERY_H_
