// Replacing an unsorted file by its sorted copy, so that the file is never
// lost: nothing of the user's is deleted, the rename puts in place only a
// copy that is complete, verified and on disk, and a sort that dies leaves no
// copy for good.
#include "dravo/replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "dravo/library.h"
#include "dravo/sort.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"
#include "platform/win32/file.h"

namespace dravo {

namespace {

// Names tried after "<base>.$$$": "<base>.$$$1" and on.
constexpr int kTempNames = 1000;
// Bytes from the file's start compared before the rename: the ID and HD
// blocks and what follows them.
constexpr size_t kHeaderBytes = 4096;
// Bytes a copy left by a sort that died must share with the file it was
// made of: its ID block, which the sort copies first.
constexpr size_t kIdBytes = 64;
// Far past any data, and apart from the bytes the platform's share modes lock.
constexpr off_t kLiveMark = static_cast<off_t>(kSortCopyLiveMark);

std::function<void(const std::string&)>& BeforeVerify() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

std::function<void(const std::string&)>& BeforeRename() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

bool& UnnamedCopies() {
  static bool allowed = true;
  return allowed;
}

// A German text of the source (UTF-8) in a box (Windows-1252).
void ShowStop(const std::string& utf8Text, const char* caption) {
  const std::string text = winport::Utf8ToAnsi(utf8Text);
  MessageBoxA(GetActiveWindow(), text.c_str(), caption, MB_OK | MB_ICONSTOP);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

struct flock LiveMark() {
  struct flock fl{};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLiveMark;
  fl.l_len = 1;
  return fl;
}

bool MarkLive(int fd) {
  struct flock fl = LiveMark();
  while (::fcntl(fd, F_OFD_SETLK, &fl) != 0)
    if (errno != EINTR) return false;
  return true;
}

// True when an opening anywhere holds the mark; also when that cannot be told.
bool MarkHeld(int fd) {
  struct flock fl = LiveMark();
  return ::fcntl(fd, F_OFD_GETLK, &fl) != 0 || fl.l_type != F_UNLCK;
}

// Up to `n` bytes from the file's start.
std::string ReadPrefix(int fd, size_t n) {
  std::string bytes(n, '\0');
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, bytes.data() + done, n - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

class Replacement {
 public:
  explicit Replacement(const std::string& file) : file_(file) {}
  ~Replacement() {
    RemoveTemp();
    if (tempFd_ >= 0) ::close(tempFd_);
  }
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  bool Run() {
    const QuietReports quiet;  // the one box is ours
    if (!FindTarget()) return Fail(kMdfCannotOpenFile);
    if (!Writable()) {
      ShowStop("Die Datei\n" + winport::AnsiToUtf8(file_) +
                   "\nmuß sortiert werden, es besteht aber keine\nSchreibberechtigung auf diesem "
                   "Verzeichnis!\nDeshalb wird abgebrochen.",
               "Import-Fehler");
      return false;
    }
    if (!Lock()) return Fail(kMdfCannotOpenFile);
    RemoveLeftCopies();
    if (!CreateTemp()) return Fail(kMdfCannotOpenFile);

    const MdfStatus sorted = RunEntry(EntryKind::Checked, [&] {
      return SortFile(Ansi(target_), Ansi(copyPath_), kMdfFileModify, true);
    });
    if (sorted == kMdfNothingToSort) {
      RemoveTemp();
      return true;
    }
    if (sorted != kMdfOk) return Fail(sorted);
    if (BeforeVerify()) BeforeVerify()(copyPath_);
    if (VerifySortedCopy(Ansi(target_), Ansi(copyPath_)) != kMdfOk) return Fail(kMdfErrWrite);
    if (!TakeAttributes() || !StillOurs()) return Fail(kMdfErrWrite);
    // A writer that ignored the lock: its write stays, the copy goes.
    if (!SourceUnchanged()) {
      RemoveTemp();
      ShowStop("Sortieren: Die Datei wurde während des Sortierens geändert", "MDF-Import-Fehler");
      return false;
    }

    if (!NameCopy()) return RenameFailed();
    if (BeforeRename()) BeforeRename()(temp_);
    if (!MdfRenameFile(temp_, target_)) return RenameFailed();
    temp_.clear();
    lock_.Close();
    // The rename lasts only once its directory is on disk.
    const int dir = ::open(Directory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = dir >= 0 && MdfSyncDescriptor(dir);
    if (dir >= 0) ::close(dir);
    return synced || Fail(kMdfErrWrite);
  }

 private:
  bool Fail(MdfStatus status) {
    RemoveTemp();
    ShowImportError(status);
    return false;
  }

  bool RenameFailed() {
    RemoveTemp();
    ShowStop("Sortieren: Kann neue Datei nicht umbenennen", "MDF-Import-Fehler");
    return false;
  }

  // The library names files in ANSI; the OS paths here came from one.
  static std::string Ansi(const std::string& osPath) { return winport::Utf8ToAnsi(osPath); }

  // The regular file the name leads to, links followed.
  bool FindTarget() {
    char resolved[PATH_MAX];
    if (!::realpath(winport::AnsiToUtf8(file_).c_str(), resolved)) return false;
    target_ = resolved;
    struct stat st{};
    // A path the library's ANSI names cannot carry is as good as unreachable.
    return ::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && winport::AnsiToUtf8(Ansi(target_)) == target_;
  }

  std::string Directory() const { return target_.substr(0, target_.find_last_of('/') + 1); }

  // "<directory>/<base>.$$$" of the target.
  std::string CopyStem() const {
    const size_t slash = target_.find_last_of('/');
    const size_t dot = target_.find_last_of('.');
    return (dot != std::string::npos && dot > slash ? target_.substr(0, dot) : target_) + ".$$$";
  }
  static std::string CopyName(const std::string& stem, int n) {
    return n == 0 ? stem : stem + std::to_string(n);
  }

  // Reading and writing the file, and the directory for the rename.
  bool Writable() const {
    return ::access(target_.c_str(), R_OK | W_OK) == 0 && ::access(Directory().c_str(), W_OK | X_OK) == 0;
  }

  // Writing denied to others until the rename; the attributes to keep, and
  // what tells a change of the file before the rename.
  bool Lock() {
    if (!lock_.Open(Ansi(target_), winport::FileAccess::Read, winport::FileShare::Read) ||
        ::fstat(lock_.Descriptor(), &original_) != 0)
      return false;
    header_ = ReadPrefix(lock_.Descriptor(), kHeaderBytes);
    return true;
  }

  // The file as it was when it was locked: the same file under its name, of
  // the same size, times and first bytes. A writer that ignores the lock
  // changes the change time even where it puts the modification time back.
  bool SourceUnchanged() const {
    struct stat now{}, named{};
    return ::fstat(lock_.Descriptor(), &now) == 0 && ::stat(target_.c_str(), &named) == 0 &&
           SameFile(named, original_) && now.st_size == original_.st_size &&
           SameTime(now.st_mtim, original_.st_mtim) && SameTime(now.st_ctim, original_.st_ctim) &&
           ReadPrefix(lock_.Descriptor(), kHeaderBytes) == header_;
  }

  // Copies that sorts of this file left when their process died between
  // naming the copy and the rename (or, without unnamed files, at any time):
  // regular files of ours under the copy names, whose sort no longer runs
  // and which begin as the file does (an empty one included).
  void RemoveLeftCopies() const {
    const std::string stem = CopyStem();
    for (int n = 0; n < kTempNames; ++n) {
      const std::string name = CopyName(stem, n);
      struct stat st{};
      if (name == target_ || ::lstat(name.c_str(), &st) != 0) continue;
      if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) continue;
      const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      struct stat opened{};
      const size_t n0 = std::min<size_t>(kIdBytes, static_cast<size_t>(st.st_size));
      const bool left = ::fstat(fd, &opened) == 0 && SameFile(opened, st) && !MarkHeld(fd) &&
                        header_.size() >= n0 && ReadPrefix(fd, n0) == header_.substr(0, n0);
      ::close(fd);
      struct stat again{};
      if (left && ::lstat(name.c_str(), &again) == 0 && SameFile(again, st)) ::unlink(name.c_str());
    }
  }

  // The copy: a file without a name in the target's directory, which
  // vanishes with the process that made it and gets a name only when it is
  // complete and verified; where the file system makes none, a new file
  // beside the target, never an existing one and never a link. The library
  // reaches an unnamed copy through its descriptor's name.
  bool CreateTemp() {
    if (UnnamedCopies()) {
      const int fd = ::open(Directory().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
      if (fd >= 0) {
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        struct stat st{}, via{};
        if (::fstat(fd, &st) == 0 && ::stat(path.c_str(), &via) == 0 && SameFile(st, via) && MarkLive(fd)) {
          tempFd_ = fd;
          tempStat_ = st;
          copyPath_ = path;
          return true;
        }
        ::close(fd);
      }
    }
    const std::string stem = CopyStem();
    for (int n = 0; n < kTempNames; ++n) {
      const std::string name = CopyName(stem, n);
      const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd >= 0) {
        temp_ = copyPath_ = name;
        tempFd_ = fd;
        return ::fstat(fd, &tempStat_) == 0 && MarkLive(fd);
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  // Gives an unnamed copy the first free copy name beside the target.
  bool NameCopy() {
    if (!temp_.empty()) return true;
    const std::string stem = CopyStem();
    for (int n = 0; n < kTempNames; ++n) {
      const std::string name = CopyName(stem, n);
      if (::linkat(AT_FDCWD, copyPath_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp_ = name;
        return StillOurs();
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  // The original's owner and group where permitted, its mode and its times,
  // all on disk.
  bool TakeAttributes() {
    if (::fchown(tempFd_, original_.st_uid, original_.st_gid) != 0) (void)::fchown(tempFd_, -1, original_.st_gid);
    const timespec times[2] = {original_.st_atim, original_.st_mtim};
    return ::fchmod(tempFd_, original_.st_mode & 07777) == 0 && ::futimens(tempFd_, times) == 0 &&
           MdfSyncDescriptor(tempFd_);
  }

  // The copy is still the file made for it, and its name (once it has one) leads to it.
  bool StillOurs() const {
    struct stat st{};
    if (temp_.empty()) return tempFd_ >= 0 && ::fstat(tempFd_, &st) == 0 && SameFile(st, tempStat_);
    return ::lstat(temp_.c_str(), &st) == 0 && SameFile(st, tempStat_);
  }

  // Unlinks the copy's name; an unnamed copy goes with its descriptor.
  void RemoveTemp() {
    if (!temp_.empty() && StillOurs()) ::unlink(temp_.c_str());
    temp_.clear();
  }

  std::string file_;      // as given (ANSI)
  std::string target_;    // the regular file it leads to (OS path)
  std::string copyPath_;  // the copy as the library opens it: its name, or its descriptor's
  std::string temp_;      // the copy's name while it has one (OS path)
  int tempFd_ = -1;
  struct stat tempStat_{};
  struct stat original_{};
  std::string header_;  // the file's first bytes when it was locked
  winport::File lock_;
};

}  // namespace

bool ShowImportError(MdfStatus status) {
  if (status == kMdfOk) return true;
  const char* text = MdfGetErrorText(status);
  const std::string message = text ? std::string(text) : "Status " + std::to_string(status);
  MessageBoxA(GetActiveWindow(), message.c_str(), "Fehler beim MDF-Import", MB_OK | MB_ICONEXCLAMATION);
  return status > 0;
}

bool ReplaceBySortedCopy(const std::string& file) { return Replacement(file).Run(); }

void SetBeforeVerifyHook(std::function<void(const std::string& copy)> hook) { BeforeVerify() = std::move(hook); }
void SetBeforeRenameHook(std::function<void(const std::string& copy)> hook) { BeforeRename() = std::move(hook); }
void SetUnnamedCopies(bool allowed) { UnnamedCopies() = allowed; }

}  // namespace dravo
