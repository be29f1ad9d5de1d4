#include "snapshot/snapshot.h"

#include <ios>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

#include "board/board_access.h"
#include "board/discovery.h"
#include "board/register_window.h"
#include "board/registers/acquisition_engine.h"
#include "board/registers/buffer_manager.h"
#include "board/registers/camera_link.h"
#include "board/registers/firmware.h"
#include "board/registers/io_box.h"
#include "board/registers/packet_engine.h"
#include "board/registers/pixel_router.h"
#include "board/registers/timing_sequencer.h"
#include "snapshot/probe_signals.h"

namespace boardstat::snapshot {
namespace {

constexpr size_t kCommentColumn = 28;

// One VFG's statements. A register that two panels read is written once.
class VfgWriter {
 public:
  VfgWriter(std::ostream& out, KvHandle vfg) : out_(out), vfg_(vfg) {}

  void section(std::string_view title) { out_ << "\n# --- " << title << " ---\n"; }

  void reg(const Register& r, bool hex = false, std::string_view note = {}) {
    if (!written_.insert(r.id).second) return;
    const uint32_t value = KvRegPeek(vfg_, r);
    std::ostringstream statement;
    statement << "reg " << r.id << ' ';
    if (hex) {
      statement << "0x" << std::hex << value;
    } else {
      statement << value;
    }
    std::string comment(r.name);
    if (r.kind == RegisterKind::kCount) comment += " (count, frozen)";
    comment += note;
    line(statement.str(), comment);
  }

  void regs(const Register* begin, const Register* end) {
    for (const Register* r = begin; r != end; ++r) reg(*r);
  }

  template <size_t N>
  void regs(const Register (&list)[N]) {
    regs(list, list + N);
  }

  void flags(FlagList list, std::string_view note) {
    for (const Flag& flag : list)
      reg(Register{flag.reg, flag.name, RegisterKind::kStatus}, false, note);
  }

  void line(const std::string& statement, std::string_view comment) {
    out_ << statement;
    if (!comment.empty()) {
      const size_t pad = statement.size() < kCommentColumn ? kCommentColumn - statement.size() : 1;
      out_ << std::string(pad, ' ') << "# " << comment;
    }
    out_ << '\n';
  }

  KvHandle vfg() const { return vfg_; }

 private:
  std::ostream& out_;
  KvHandle vfg_;
  std::set<uint32_t> written_;
};

// Window selectors are put back as they were found. A board that does not read a selector back
// gets back what it reads.
class SelectorsKept {
 public:
  SelectorsKept(KvHandle vfg, std::initializer_list<uint32_t> selectors) : vfg_(vfg) {
    for (uint32_t reg : selectors) saved_.push_back({reg, KvRegPeek(vfg, reg)});
  }
  ~SelectorsKept() {
    for (const WindowSelect& select : saved_) KvRegPoke(vfg_, select.reg, select.value);
  }
  SelectorsKept(const SelectorsKept&) = delete;
  SelectorsKept& operator=(const SelectorsKept&) = delete;

 private:
  KvHandle vfg_;
  std::vector<WindowSelect> saved_;
};

void write_router_tables(VfgWriter& w) {
  using namespace pixel_router;
  const VfgLock window_lock(w.vfg(), kWindowLockWait);
  const SelectorsKept kept(w.vfg(), {kTableSelect, kColumnIndex, kRowIndex});
  struct Table {
    uint32_t table;
    int columns;
    int rows;
    const char* what;
  };
  // Every entry the panel can read: the bank table, the tap start and step tables (row 0) and
  // the tap cycle table's shown cycles.
  static constexpr Table kTables[] = {
      {kBankTable, kBanks, kBankCycles, "bank table: COLUMN bank, ROW cycle, 16 + tap"},
      {kTapStartTable, kTaps, 1, "tap start table: COLUMN tap"},
      {kTapStepTable, kTaps, 1, "tap step table: COLUMN tap"},
      {kTapCycleTable, kTaps, kTapCycles, "tap cycle table: COLUMN tap, ROW cycle"},
  };
  for (const Table& t : kTables) {
    bool first = true;
    for (int row = 0; row < t.rows; ++row) {
      for (int column = 0; column < t.columns; ++column) {
        const uint32_t value = read_router_entry(w.vfg(), t.table, static_cast<uint32_t>(column),
                                                 static_cast<uint32_t>(row));
        if (value == 0) continue;
        std::ostringstream statement;
        statement << "router " << t.table << ' ' << column << ' ' << row << ' ' << value;
        w.line(statement.str(), first ? t.what : "");
        first = false;
      }
    }
  }
}

void write_sequencer_entries(VfgWriter& w) {
  using namespace timing_sequencer;
  const VfgLock window_lock(w.vfg(), kWindowLockWait);
  const SelectorsKept kept(w.vfg(), {kEntryIndexSelect});
  for (uint32_t index = 0; index < kEntries; ++index) {
    if (select_sequencer_entry(w.vfg(), index) == 0) continue;
    bool first = true;
    for (const Register& r : kEntryRegisters) {
      const uint32_t value = KvRegPeek(w.vfg(), r);
      if (value == 0) continue;
      std::ostringstream statement;
      statement << "seq " << index << ' ' << r.id << ' ' << value;
      w.line(statement.str(), first ? "entry " + std::to_string(index) + ": " + std::string(r.name)
                                    : std::string(r.name));
      first = false;
    }
  }
}

void write_probe_signals(VfgWriter& w) {
  const std::vector<ProbeSignal> signals = signals_from_counts(measure(w.vfg()));
  if (signals.empty()) {
    w.line("# no probe measurement ended on this VFG: no signal written", "");
    return;
  }
  for (const ProbeSignal& s : signals) {
    std::ostringstream statement;
    statement << "signal " << s.number << ' ' << s.period_ps << "ps " << s.high_ps << "ps";
    if (s.phase_ps != 0) statement << ' ' << s.phase_ps << "ps";
    w.line(statement.str(), s.comment);
  }
}

void write_vfg(std::ostream& out, KvHandle vfg, bool probe) {
  VfgWriter w(out, vfg);
  w.section("Banner: firmware build date and time (binary-coded decimal)");
  for (const Register& r : firmware::kRegisters) w.reg(r, true);

  w.section("CameraLink");
  w.regs(camera_link::kRegisters);

  w.section("PixelRouter: output depth, then the router entries that read non-zero");
  w.regs(pixel_router::kRegisters);
  write_router_tables(w);

  w.section("AcquisitionEngine");
  w.regs(acquisition_engine::kRegisters);
  w.flags(make_flag_list(acquisition_engine::kErrorFlags), " (error latch)");

  w.section("BufferManager");
  w.regs(buffer_manager::kRegisters);
  w.flags(make_flag_list(buffer_manager::kErrorFlags), " (error latch)");

  w.section("PacketEngine");
  w.regs(packet_engine::kRegisters);
  w.flags(make_flag_list(packet_engine::kControlFlags), " (flag)");
  w.flags(make_flag_list(packet_engine::kErrorFlags), " (error latch)");

  w.section("TimingSequencer: settings, then every entry in use (registers that read 0 left out)");
  w.regs(timing_sequencer::kRegisters);
  write_sequencer_entries(w);

  w.section("I/O box");
  w.regs(io_box::kRegisters);

  if (probe) {
    w.section("SystemProbe: signals that give the measured figures again");
    write_probe_signals(w);
  }
}

void write_vfg_heading(std::ostream& out, int number, bool opens) {
  static const std::string kRule(88, '#');
  out << '\n' << kRule << '\n';
  out << (opens ? "vfg" : "vfg open-fails") << "                         # VFG " << number
      << (opens ? "" : ": found, but could not be opened") << '\n';
  out << kRule << '\n';
}

}  // namespace

int write_snapshot(std::ostream& out, const SnapshotOptions& options) {
  std::vector<FoundVfg> found;
  find_vfgs(found, OnFailedOpen::kGoOn);
  if (found.empty()) return 0;

  out << "# Board snapshot by boardstat_snapshot " << options.version << ", taken "
      << options.taken_at << ".\n"
      << "# " << vfgs_text(found.size()) << " (the console shows at most " << kMaxVfgs << ").\n"
      << "# Read through " << options.board_library << ".\n"
      << "#\n"
      << "# Show it with: BOARDSIM_CONFIG=this-file boardstat\n"
      << "# Every register is frozen at the value read, counts too: on this board the acquired\n"
      << "# volumes, frames, lines and bytes, the quads, QTabs and packets stand still.\n"
      << (options.probe
              ? "# Probe signals are turned back from the SystemProbe figures measured once.\n"
              : "# No probe signals: the SystemProbe panel shows Unknown (take it with "
                "--probe).\n");
  for (size_t i = 0; i < found.size(); ++i) {
    const int number = static_cast<int>(i);
    write_vfg_heading(out, number, found[i].open);
    if (found[i].open) write_vfg(out, found[i].handle, options.probe);
  }
  return static_cast<int>(found.size());
}

}  // namespace boardstat::snapshot
