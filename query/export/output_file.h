#pragma once

// A new file written through a large buffer, for the text exports. Every failure of the system
// (a full disk, a file size limit) becomes a jet::Error naming the file.

#include <string>

namespace query {

class OutputFile {
 public:
  enum class Mode {
    kNew,      // `path` must not exist
    kClaimed,  // `path` is an empty file this export created; it is written from the start
  };
  // Opens `path`; throws kInvalidArgument when a new file exists, kIo when it cannot be opened.
  explicit OutputFile(std::string path, Mode mode = Mode::kNew);
  ~OutputFile();  // closes without reporting; Close() reports
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Text is appended here and written out by Flush().
  std::string& buffer() { return buffer_; }
  // Writes the buffer once it holds a megabyte or more.
  void MaybeFlush() {
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Flush();
  // Writes the rest and closes the file. Throws kIo.
  void Close();

 private:
  static constexpr size_t kFlushAt = 1 << 20;
  std::string path_;
  int fd_ = -1;
  std::string buffer_;
};

// Throws kInvalidArgument when something exists at `path`.
void RequireAbsent(const std::string& path);

}  // namespace query
