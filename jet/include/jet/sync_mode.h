#pragma once

namespace jet {

// How hard a commit works to survive a power loss (see the journal in README.md).
//   kFull:   the journal is synced before the file is overwritten and the file is synced before
//            the journal is cleared, so a power loss cannot tear a commit. The default.
//   kNormal: no syncs; a killed program still never tears a commit (the journal restores it),
//            but a power loss or an operating-system crash may lose or damage the last commits.
enum class SyncMode { kFull, kNormal };

}  // namespace jet
