// Replacing an unsorted file by its sorted copy, for the import driver.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dravo/status.h"

namespace dravo {

// Status 0 answers true with no box. Any other status shows its text (or
// "Status <n>" for a status without one) in a box owned by the active
// window, captioned "Fehler beim MDF-Import", with the exclamation icon, and
// answers true for a positive status, false for a negative one.
bool ShowImportError(MdfStatus status);

// Checks a sorted copy against its source, through the library: the copy must
// open and be sorted, hold the source's channel groups (in the copy's reverse
// order) with equal record size, record count and channel count, and each
// group's data area must equal, byte for byte, that group's records read
// again from the source. An entry: 0, or -2000 for any failure.
MdfStatus VerifySortedCopy(const std::string& source, const std::string& copy);

// A running sort holds a write lock (an open file description lock) on this
// byte of its copy: a copy whose byte no process holds belongs to a sort
// that is gone.
inline constexpr int64_t kSortCopyLiveMark = 0x7FFFFFFE00000000LL;

// Sorts the MDF file `file` (an ANSI path) and replaces it by the sorted
// copy, or leaves it as it is. The file is replaced only by a copy that is
// complete, verified and on disk, with the original's owner and group (where
// permitted), mode and times:
//   - a symbolic link is followed to its target, which is what is replaced;
//   - the file must be readable and writable and its directory writable;
//   - the file is held with writing denied to others until the rename;
//   - copies that earlier sorts of the file left when their process died
//     are removed: files of ours named "<base>.$$$" or "<base>.$$$<n>" whose
//     sort no longer runs and which begin as the file does;
//   - the copy is made without a name in the file's directory (or, where the
//     file system makes no such files, as a new file "<base>.$$$" or
//     "<base>.$$$<n>" for the first n that names no file), so that a process
//     killed while it sorts leaves nothing behind;
//   - the copy is sorted (MdfSortFile), synced, verified, given the
//     original's attributes and synced; the file must then still be the one
//     locked, of the same size, modification and change time and first
//     4 KiB (a writer that ignored the lock: the box "Sortieren: Die Datei
//     wurde während des Sortierens geändert" and the file stays as the
//     writer left it); the copy gets its name, is renamed over the file, and
//     the directory is synced.
// True when the file was replaced, or needed no sorting (5), and the import
// may go on with it. False after any failure, with one box: the copy is
// removed and the file is unchanged, except after a failed sync of the
// directory, when the rename has already put the complete copy in place.
// A status reported on the way stays recorded in the library, as every
// report does, until MdfInitLibrary.
bool ReplaceBySortedCopy(const std::string& file);

// Seams for tests. Called with the path through which the library reaches
// the copy (its name, or its descriptor's for an unnamed copy) after the copy
// is written and synced and before it is verified:
void SetBeforeVerifyHook(std::function<void(const std::string& copy)> hook);
// Called with the copy's name right before the rename.
void SetBeforeRenameHook(std::function<void(const std::string& copy)> hook);
// false: copies are made with a name, as where the file system makes no unnamed files.
void SetUnnamedCopies(bool allowed);

}  // namespace dravo
