#include "page/lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>

#include "jet/error.h"

namespace jet {

WriteLock::WriteLock(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    throw Error(Error::Kind::kIo, path + ": cannot open for locking: " + std::strerror(errno));
  }
  int rc;
  do {
    rc = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int err = errno;
    ::close(fd_);
    fd_ = -1;
    if (err == EWOULDBLOCK) {
      throw Error(Error::Kind::kLocked,
                  path + ": the database is open for writing by another program or window; "
                         "close it there first or open this copy read-only");
    }
    throw Error(Error::Kind::kIo, path + ": cannot lock: " + std::strerror(err));
  }
}

WriteLock::~WriteLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace jet
