#pragma once

// The advisory write lock: one writer per file across processes.
//
// A database opened for writing holds an exclusive flock() on its own descriptor of the file for
// as long as it is open. A second writer (another process, or another writable Database in this
// process) fails to take it and is refused with kLocked. Readers take no lock and are never
// blocked. flock() locks belong to the open file description, so closing some other descriptor
// of the same file (a reader in this process) does not drop the lock.

#include <string>

namespace jet {

class WriteLock {
 public:
  // Takes the lock on `path`. Throws Error(kLocked) when another writer holds it, kIo when the
  // file cannot be opened.
  explicit WriteLock(const std::string& path);
  ~WriteLock();
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  int fd_ = -1;  // descriptor holding the lock
};

}  // namespace jet
