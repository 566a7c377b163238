#pragma once

// Locking between the programs that have one database open. Four bytes far beyond any real data
// of the file carry byte-range locks (on the file's own handle, see FileHandle::Lock):
//
//   writer   exclusive, held by the one handle open for writing for as long as it is open; a
//            second writer fails to take it and is refused.
//   journal  exclusive, held by that writer once its journal is in place. A journal that holds a
//            valid header while nobody holds this byte was left by a writer that stopped in the
//            middle of a commit (a hot journal) and must be rolled back before anyone reads.
//   pending  exclusive while a writer waits for the readers to leave, so that new readers wait
//            instead of starving it; readers hold it shared only while they take `shared`.
//   shared   shared by every reader for the length of one read operation; exclusive by the
//            writer while it overwrites the file. A reader therefore never sees half a commit.
//
// Readers that find a lock taken retry for a few seconds before giving up with kLocked.
//
// Access keeps a lock file NAME.ldb beside a database it has open; when another program holds a
// lock on it, the database is in use elsewhere and is opened read-only.

#include <chrono>
#include <cstdint>
#include <string>

#include "page/file_system.h"

namespace jet {

constexpr uint64_t kLockBase = uint64_t{1} << 62;
constexpr uint64_t kWriterByte = kLockBase;
constexpr uint64_t kJournalByte = kLockBase + 1;
constexpr uint64_t kPendingByte = kLockBase + 2;
constexpr uint64_t kSharedByte = kLockBase + 3;

// How long a reader waits for a commit to finish, and a writer for the readers to leave.
constexpr std::chrono::milliseconds kReaderWait{5000};
constexpr std::chrono::milliseconds kWriterWait{10000};

// Takes (or changes to) `type` on `byte`, retrying until `wait` has passed. Returns 0, EAGAIN
// on timeout, or another errno.
int LockWithin(FileHandle& handle, uint64_t byte, LockType type, std::chrono::milliseconds wait);
void Unlock(FileHandle& handle, uint64_t byte);

// NAME.ldb beside NAME.mdb (the extension replaced; appended when there is none).
std::string LockFilePath(const std::string& db_path);
// True when another program holds a lock on the database's lock file.
bool LockFileHeld(FileSystem& fs, const std::string& db_path);

}  // namespace jet
