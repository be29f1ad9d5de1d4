// boardstat_snapshot: reads, once, every register the console reads on every VFG and writes it
// as a board description for the simulated board, so that the console run on the file shows
// the same screens.
#ifndef BOARDSTAT_SNAPSHOT_SNAPSHOT_H_
#define BOARDSTAT_SNAPSHOT_SNAPSHOT_H_

#include <ostream>
#include <string>

namespace boardstat::snapshot {

struct SnapshotOptions {
  bool probe = false;         // measure with the rate probe and write `signal` statements
  std::string taken_at;       // shown in the header, e.g. "2026-12-06 04:00:00 UTC"
  std::string version;        // the program's version, shown in the header
  std::string board_library;  // the board access library read through, shown in the header
};

/// Finds the VFGs as the console does (at most 32), opens each and writes the description of
/// every one to `out`; a VFG that cannot be opened is written as `vfg open-fails`. Returns the
/// number of VFGs found: 0 means there is nothing to describe and nothing was written.
int write_snapshot(std::ostream& out, const SnapshotOptions& options);

}  // namespace boardstat::snapshot

#endif  // BOARDSTAT_SNAPSHOT_SNAPSHOT_H_
