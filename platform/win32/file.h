// Files with Win32 sharing semantics and 64-bit positions.
//
// Sharing is enforced between every opening made through this class, in this
// process and in others, with open-file-description locks on bytes far past any
// real data: each opening announces its access (read, write) and what it denies
// to others, and an opening whose access another denies, or which denies an
// access another already holds, fails with ERROR_SHARING_VIOLATION.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/win32/types.h"

namespace winport {

enum class FileAccess { Read, ReadWrite, Write };
// What others may do while this opening lasts.
enum class FileShare { None, Read, Write, ReadWrite };
enum class FileDisposition {
  OpenExisting,  // fails when the file does not exist
  CreateAlways,  // creates or empties
  OpenAlways,    // creates when missing, keeps content otherwise
};

enum class SeekOrigin { Begin, Current, End };

// A file opened with Win32 share modes. Reads are buffered; a write, a seek or
// a truncation first drops what the read buffer holds.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // `path` is an ANSI (Windows-1252) path, as with the Win32 A-functions.
  bool Open(const std::string& path, FileAccess access, FileShare share,
            FileDisposition disposition = FileDisposition::OpenExisting);
  // False when the system reported an error on closing (a write that did not reach the file).
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }
  // The Win32 error of the last failed Open.
  LSTATUS LastError() const { return lastError_; }

  // Returns the number of bytes read (0 at the end of the file or on error).
  size_t Read(void* buffer, size_t bytes);
  // Reads exactly `bytes` bytes; false when fewer came.
  bool ReadExact(void* buffer, size_t bytes) { return Read(buffer, bytes) == bytes; }
  // Returns the number of bytes written.
  size_t Write(const void* buffer, size_t bytes);
  bool WriteExact(const void* buffer, size_t bytes) { return Write(buffer, bytes) == bytes; }

  // Positions may lie past the end of the file, as with Win32; negative ones fail.
  bool Seek(int64_t offset, SeekOrigin origin = SeekOrigin::Begin);
  // Current position, -1 when the file is not open.
  int64_t Tell() const;
  // File size in bytes, -1 when the file is not open.
  int64_t Size() const;
  bool Truncate(int64_t size);
  bool Flush();

  int Descriptor() const { return fd_; }

 private:
  void DropBuffer();

  int fd_ = -1;
  int lockFd_ = -1;  // second descriptor holding the share locks of a write-only opening
  LSTATUS lastError_ = ERROR_SUCCESS;
  int64_t pos_ = 0;  // logical position
  // Read buffer: bytes [bufStart_, bufStart_ + bufLen_) of the file.
  unsigned char* buf_ = nullptr;
  int64_t bufStart_ = 0;
  size_t bufLen_ = 0;
};

// Access and write times of a file (Linux keeps no settable creation time).
struct FileTimes {
  timespec access{};
  timespec write{};
};
bool GetFileTimes(const File& file, FileTimes& times);
bool SetFileTimes(const File& file, const FileTimes& times);

// Takes a file's times when made and puts them back when destroyed; writes go
// straight to the file, so nothing written later changes the restored times.
// For in-place updates of a user's file.
class KeepFileTimes {
 public:
  explicit KeepFileTimes(File& file);
  ~KeepFileTimes();
  KeepFileTimes(const KeepFileTimes&) = delete;
  KeepFileTimes& operator=(const KeepFileTimes&) = delete;

 private:
  File& file_;
  FileTimes times_;
  bool valid_;
};

bool FileExists(const std::string& path);
// A regular file that this process may read (the C runtime's read-access test, directories excluded).
bool IsReadableFile(const std::string& path);
// Everything readable from a descriptor from its current offset on.
std::string ReadDescriptor(int fd);
// Size of the file at `path`, -1 when it cannot be read.
int64_t FileSizeOf(const std::string& path);

}  // namespace winport
