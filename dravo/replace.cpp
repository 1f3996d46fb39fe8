// Replacing an unsorted file by its sorted copy, so that the file is never
// lost: nothing is deleted, and the rename puts in place only a copy that is
// complete, verified and on disk.
#include "dravo/replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::function<void(const std::string&)>& BeforeVerify() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

// A German text of the source (UTF-8) in a box (Windows-1252).
void ShowStop(const std::string& utf8Text, const char* caption) {
  const std::string text = winport::Utf8ToAnsi(utf8Text);
  MessageBoxA(GetActiveWindow(), text.c_str(), caption, MB_OK | MB_ICONSTOP);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

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
    if (!Lock() || !CreateTemp()) return Fail(kMdfCannotOpenFile);

    const MdfStatus sorted = RunEntry(EntryKind::Checked, [&] {
      return SortFile(Ansi(target_), Ansi(temp_), kMdfFileModify, true);
    });
    if (sorted == kMdfNothingToSort) {
      RemoveTemp();
      return true;
    }
    if (sorted != kMdfOk) return Fail(sorted);
    if (BeforeVerify()) BeforeVerify()(temp_);
    if (VerifySortedCopy(Ansi(target_), Ansi(temp_)) != kMdfOk) return Fail(kMdfErrWrite);
    if (!TakeAttributes() || !StillOurs()) return Fail(kMdfErrWrite);

    if (!MdfRenameFile(temp_, target_)) {
      RemoveTemp();
      ShowStop("Sortieren: Kann neue Datei nicht umbenennen", "MDF-Import-Fehler");
      return false;
    }
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

  // Reading and writing the file, and the directory for the rename.
  bool Writable() const {
    return ::access(target_.c_str(), R_OK | W_OK) == 0 && ::access(Directory().c_str(), W_OK | X_OK) == 0;
  }

  // Writing denied to others until the rename; the attributes to keep.
  bool Lock() {
    return lock_.Open(Ansi(target_), winport::FileAccess::Read, winport::FileShare::Read) &&
           ::fstat(lock_.Descriptor(), &original_) == 0;
  }

  // A new file beside the target, never an existing one and never a link.
  bool CreateTemp() {
    const size_t slash = target_.find_last_of('/');
    const size_t dot = target_.find_last_of('.');
    const std::string base = dot != std::string::npos && dot > slash ? target_.substr(0, dot) : target_;
    for (int n = 0; n < kTempNames; ++n) {
      const std::string name = base + ".$$$" + (n == 0 ? std::string() : std::to_string(n));
      const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd >= 0) {
        temp_ = name;
        tempFd_ = fd;
        return ::fstat(fd, &tempStat_) == 0;
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

  // The copy's name still leads to the file made for it.
  bool StillOurs() const {
    struct stat st{};
    return !temp_.empty() && ::lstat(temp_.c_str(), &st) == 0 && SameFile(st, tempStat_);
  }

  void RemoveTemp() {
    if (StillOurs()) ::unlink(temp_.c_str());
    temp_.clear();
  }

  std::string file_;    // as given (ANSI)
  std::string target_;  // the regular file it leads to (OS path)
  std::string temp_;    // the copy while it exists (OS path)
  int tempFd_ = -1;
  struct stat tempStat_{};
  struct stat original_{};
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

}  // namespace dravo
