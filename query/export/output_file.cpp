#include "export/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jet/error.h"

namespace query {
namespace {

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path, int err) {
  throw jet::Error(jet::Error::Kind::kIo, what + " " + path + ": " + std::strerror(err));
}

}  // namespace

void RequireAbsent(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    throw jet::Error(jet::Error::Kind::kInvalidArgument, path + " already exists");
  }
}

OutputFile::OutputFile(std::string path, Mode mode) : path_(std::move(path)) {
  const int flags = mode == Mode::kNew ? O_CREAT | O_EXCL : O_TRUNC;
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
  if (fd_ < 0) {
    if (errno == EEXIST) {
      throw jet::Error(jet::Error::Kind::kInvalidArgument, path_ + " already exists");
    }
    ThrowIo("cannot create", path_, errno);
  }
  buffer_.reserve(kFlushAt + (kFlushAt >> 2));
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

void OutputFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowIo("cannot write", path_, n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
}

void OutputFile::Close() {
  Flush();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) ThrowIo("cannot write", path_, errno);
}

}  // namespace query
