#include "page/lock.h"

#include <cerrno>
#include <thread>

namespace jet {

int LockWithin(FileHandle& handle, uint64_t byte, LockType type, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    const int rc = handle.Lock(byte, 1, type);
    if (rc != EAGAIN) return rc;
    if (std::chrono::steady_clock::now() >= deadline) return EAGAIN;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
}

void Unlock(FileHandle& handle, uint64_t byte) { handle.Lock(byte, 1, LockType::kUnlock); }

std::string LockFilePath(const std::string& db_path) {
  const size_t slash = db_path.rfind('/');
  const size_t dot = db_path.rfind('.');
  const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (has_ext ? db_path.substr(0, dot) : db_path) + ".ldb";
}

bool LockFileHeld(FileSystem& fs, const std::string& db_path) {
  int err = 0;
  std::unique_ptr<FileHandle> ldb = fs.Open(LockFilePath(db_path), FileSystem::Mode::kRead, err);
  if (!ldb) return false;  // no lock file, or one we cannot look at: nothing says it is in use
  // Access locks byte ranges of its lock file (Samba passes a Windows client's locks on as
  // such); any lock at all means a live user.
  return ldb->LockedElsewhere(0, 0, LockType::kExclusive);
}

}  // namespace jet
