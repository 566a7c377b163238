// The default file layer: POSIX calls, with open-file-description (OFD) byte-range locks, which
// belong to the descriptor rather than to the process, so closing another descriptor of the same
// file in this process does not drop them.

#include "page/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace jet {
namespace {

class PosixHandle : public FileHandle {
 public:
  explicit PosixHandle(int fd) : fd_(fd) {}
  ~PosixHandle() override { ::close(fd_); }

  int Read(uint64_t offset, std::span<uint8_t> out, size_t& done) override {
    done = 0;
    while (done < out.size()) {
      ssize_t n =
          ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return 0;
  }

  int Write(uint64_t offset, std::span<const uint8_t> data, size_t& done) override {
    done = 0;
    for (;;) {
      ssize_t n = ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      done = static_cast<size_t>(n);
      return 0;
    }
  }

  int Sync() override { return ::fdatasync(fd_) == 0 ? 0 : errno; }

  int Truncate(uint64_t size) override {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno;
  }

  int Stat(FileStat& out) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return errno;
    out.size = static_cast<uint64_t>(st.st_size);
    out.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return 0;
  }

  int Lock(uint64_t offset, uint64_t len, LockType type) override {
    struct flock fl = Range(offset, len, type);
    for (;;) {
      if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return 0;
      if (errno == EINTR) continue;
      return errno == EACCES ? EAGAIN : errno;
    }
  }

  bool LockedElsewhere(uint64_t offset, uint64_t len, LockType type) override {
    struct flock fl = Range(offset, len, type);
    if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
  }

 private:
  static struct flock Range(uint64_t offset, uint64_t len, LockType type) {
    struct flock fl {};
    fl.l_type = type == LockType::kUnlock ? F_UNLCK : type == LockType::kShared ? F_RDLCK : F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(len);
    fl.l_pid = 0;  // required for OFD locks
    return fl;
  }

  int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<FileHandle> Open(const std::string& path, Mode mode, int& err) override {
    int flags = O_CLOEXEC;
    if (mode == Mode::kRead) flags |= O_RDONLY;
    if (mode == Mode::kReadWrite) flags |= O_RDWR;
    if (mode == Mode::kCreate) flags |= O_RDWR | O_CREAT;
    int fd;
    do {
      fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      err = errno;
      return nullptr;
    }
    err = 0;
    return std::make_unique<PosixHandle>(fd);
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  int Remove(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
  }

  int SyncFolder(const std::string& path) override {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int rc = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return rc == EINVAL ? 0 : rc;  // some file systems cannot sync a folder
  }
};

}  // namespace

FileSystem& DefaultFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace jet
