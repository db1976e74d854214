// Files written whole or not at all, and files read within a size bound: every file the viewer
// and qelctl leave or take goes through here. Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

namespace files {

// The outcome of a file operation: 0 or the errno value of the first step that failed.
struct Result {
  int error = 0;
  explicit operator bool() const { return error == 0; }
  // The system's text for the error ("No space left on device"); empty on success.
  std::string Reason() const;
};

// A file written under a temporary name in the target's folder and renamed over the target only
// when complete, so a failed or abandoned write leaves the previous file as it was. Every write
// and the close are checked; the first failure is kept.
class ReplacingFile {
 public:
  // Creates the temporary file; Ok() tells whether that worked. An existing target's permissions
  // carry over to its replacement.
  explicit ReplacingFile(std::string target);
  // Removes the temporary file unless it took the target's place.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  bool Ok() const { return error_ == 0; }
  Result Status() const { return {error_}; }
  // The open stream for positioned writes (null once closed or when it could not be created).
  std::FILE* Stream() const { return file_; }
  bool Write(const void* data, size_t length);
  bool Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Records a failure found by the caller (an errno value; 0 changes nothing), so Commit keeps
  // the previous file.
  void Fail(int error);
  // Puts the file, as far as written, in the target's place now; later writes go on in place.
  // For recordings, which stay recoverable when the program dies after their first frame.
  Result Publish();
  // Closes the file and, when every step worked, renames it over the target (unless Publish did
  // already). On failure the target is left as it was before (or as published).
  Result Commit();

 private:
  void Discard();

  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  int error_ = 0;
  bool published_ = false;
};

// Replaces `path` with the parts written one after the other, as ReplacingFile does.
Result WriteWholeFile(const std::string& path, std::initializer_list<std::string_view> parts);
inline Result WriteWholeFile(const std::string& path, std::string_view data) {
  return WriteWholeFile(path, {data});
}

// Reads the whole file into `text`. Refuses a directory (EISDIR) and a file that holds more than
// `maxBytes` bytes (EFBIG), reading at most one 64 KiB block beyond the bound, so an endless
// input such as a device ends at once.
Result ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text);

}  // namespace files
