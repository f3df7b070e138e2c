// The one way both programs open files. A file is read only when it is a regular file (a link to
// one will do) no larger than its kind may be, and opening never waits: a FIFO without a writer
// or a device is refused before anything is read. An output is written only over a regular file,
// a new name, or a pipe that someone reads; it never waits for a reader either.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

// The kinds of file the programs read, each with the most it may weigh.
enum class TFileKind { Rom, State, InputScript, Settings };

// The cartridge window at 0x90000000 shows at most 256 MB.
inline constexpr uint64_t kMaxRomBytes = 256u << 20;
// The largest machine (8 MB of main memory and every block beside it) compresses to well under
// this, whatever its memory holds.
inline constexpr uint64_t kMaxStateBytes = 32u << 20;
inline constexpr uint64_t kMaxInputScriptBytes = 16u << 20;
inline constexpr uint64_t kMaxSettingsBytes = 1u << 20;

uint64_t MaxFileBytes(TFileKind kind);

// A file opened for reading. The constructor opens it and checks its kind and size; Ok() tells
// the outcome and Error() the reason, for the user: the system's text or what is wrong with it.
class TReadableFile {
 public:
  TReadableFile(const std::string& path, TFileKind kind);
  ~TReadableFile();
  TReadableFile(const TReadableFile&) = delete;
  TReadableFile& operator=(const TReadableFile&) = delete;

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  // The system's error number when opening failed, else 0 (ENOENT tells a missing file).
  int OpenErrno() const { return openErrno_; }
  uint64_t Size() const { return size_; }

  // Reads the whole file into target, which holds Size() bytes; false (and Error()) on failure.
  bool ReadAll(uint8_t* target);
  bool ReadAll(std::vector<uint8_t>& bytes);
  bool ReadAll(std::string& text);

 private:
  int fd_ = -1;
  int openErrno_ = 0;
  uint64_t size_ = 0;
  std::string error_;
};

// Opens path for writing, creating or truncating a regular file, without waiting. Refuses a
// directory, a device and a FIFO that no one reads ("No such device or address"); a pipe with a
// reader (such as a shell's) is written as a stream. Returns the descriptor, or -1 with the reason.
int OpenOutput(const std::string& path, std::string& error);

// Where an atomic write of path must put its file: the regular file a link names, or path itself
// when nothing is there yet. Empty when path names something that is no regular file, which the
// caller then writes through OpenOutput instead of replacing it.
std::string AtomicTarget(const std::string& path);

}  // namespace vantor
