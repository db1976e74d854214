// Whole-file writes through a temporary file renamed over the target, and bounded reads.
#include "viewer/files/Files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace files {
namespace {

// errno after a failed call, never 0 (a C library may fail without setting it).
int LastError() {
  return errno != 0 ? errno : EIO;
}

#if defined(_WIN32)
int OpenExclusive(const std::string& path) {
  int fd = -1;
  const errno_t e = _sopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                             _SH_DENYNO, _S_IREAD | _S_IWRITE);
  if (e != 0) errno = e;
  return fd;
}
int RenameOver(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
}
#else
int OpenExclusive(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int RenameOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : LastError();
}
#endif

}  // namespace

std::string Result::Reason() const {
  return error == 0 ? std::string() : std::generic_category().message(error);
}

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target)) {
  static std::atomic<unsigned> counter{0};
#if defined(_WIN32)
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_ = target_ + ".tmp" + std::to_string(pid) + "-" + std::to_string(counter++);
    errno = 0;
    fd = OpenExclusive(temp_);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error_ = LastError();
    temp_.clear();
    return;
  }
#if !defined(_WIN32)
  struct stat previous {};
  if (::stat(target_.c_str(), &previous) == 0 && S_ISREG(previous.st_mode)) {
    ::fchmod(fd, previous.st_mode & 07777);  // best effort: the contents matter more
  }
  file_ = ::fdopen(fd, "wb");
#else
  file_ = _fdopen(fd, "wb");
#endif
  if (file_ == nullptr) {
    error_ = LastError();
#if defined(_WIN32)
    _close(fd);
#else
    ::close(fd);
#endif
    Discard();
  }
}

ReplacingFile::~ReplacingFile() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!published_) Discard();
}

void ReplacingFile::Discard() {
  if (!temp_.empty()) std::remove(temp_.c_str());
  temp_.clear();
}

bool ReplacingFile::Write(const void* data, size_t length) {
  if (error_ != 0) return false;
  if (file_ == nullptr) {
    error_ = EBADF;
    return false;
  }
  errno = 0;
  if (std::fwrite(data, 1, length, file_) != length) error_ = LastError();
  return error_ == 0;
}

void ReplacingFile::Fail(int error) {
  if (error_ == 0) error_ = error;
}

Result ReplacingFile::Publish() {
  if (error_ != 0 || published_) return {error_};
  errno = 0;
  if (file_ == nullptr || std::fflush(file_) != 0) {
    Fail(file_ == nullptr ? EBADF : LastError());
    return {error_};
  }
#if defined(_WIN32)
  // An open file cannot be renamed here: close it, rename it and go on where it stood.
  const long long at = _ftelli64(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed) Fail(LastError());
  if (error_ == 0) Fail(RenameOver(temp_, target_));
  if (error_ != 0) return {error_};
  published_ = true;
  file_ = std::fopen(target_.c_str(), "r+b");
  if (file_ == nullptr || _fseeki64(file_, at, SEEK_SET) != 0) Fail(LastError());
#else
  Fail(RenameOver(temp_, target_));
  if (error_ == 0) published_ = true;
#endif
  return {error_};
}

Result ReplacingFile::Commit() {
  if (file_ != nullptr) {
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) Fail(LastError());
  }
  if (!published_) {
    if (error_ == 0) Fail(RenameOver(temp_, target_));
    if (error_ == 0) {
      published_ = true;
    } else {
      Discard();
    }
  }
  return {error_};
}

Result WriteWholeFile(const std::string& path, std::initializer_list<std::string_view> parts) {
  ReplacingFile file(path);
  for (const std::string_view part : parts) file.Write(part);
  return file.Commit();
}

Result ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text) {
  text.clear();
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {LastError()};
  int error = 0;
  struct stat info {};
  if (::fstat(fileno(file), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR) error = EISDIR;
  char chunk[65536];
  while (error == 0) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (got > maxBytes - text.size()) {
      error = EFBIG;
    } else {
      text.append(chunk, got);
    }
    if (got < sizeof chunk) {
      if (error == 0 && std::ferror(file)) error = LastError();
      break;
    }
  }
  std::fclose(file);
  if (error != 0) text.clear();
  return {error};
}

}  // namespace files
