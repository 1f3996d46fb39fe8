// Replacing an unsorted file by its sorted copy without ever losing it.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

#include "dravo/filelayer.h"
#include "platform/win32/file.h"
#include "dravo/replace.h"
#include "tests/dravo/dravo_files.h"
#include "tests/dravo/sort_files.h"
#include "tests/support/corpus.h"

using namespace dravo;
using namespace dravotest;
namespace fs = std::filesystem;

namespace {

// What must survive a failed replacement (atime aside: reading changes it).
struct Snapshot {
  std::string bytes;
  mode_t mode = 0;
  timespec mtime{};
  bool operator==(const Snapshot& o) const {
    return bytes == o.bytes && mode == o.mode && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

Snapshot Take(const std::string& path) {
  struct stat st{};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return Snapshot{ReadFileBytes(path), st.st_mode, st.st_mtim};
}

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

winport::ui::ExpectedDialog ImportErrorBox(MdfStatus status) {
  winport::ui::ExpectedDialog box;
  box.text = MdfGetErrorText(status);
  box.caption = "Fehler beim MDF-Import";
  box.type = MB_OK | MB_ICONEXCLAMATION;
  return box;
}

winport::ui::ExpectedDialog RenameBox() {
  winport::ui::ExpectedDialog box;
  box.text = "Sortieren: Kann neue Datei nicht umbenennen";
  box.caption = "MDF-Import-Fehler";
  box.type = MB_OK | MB_ICONSTOP;
  return box;
}

// Counts the file layer's operations, remembers their kinds and fails the k-th (0: none).
class Faults {
 public:
  explicit Faults(size_t failAt = 0) : failAt_(failAt) {
    MdfSetFileFaultHook([this](MdfFileOp op) {
      ops.push_back(op);
      return ops.size() == failAt_;
    });
  }
  ~Faults() { MdfSetFileFaultHook(nullptr); }
  std::vector<MdfFileOp> ops;

 private:
  size_t failAt_;
};

class Replace : public LibraryTest {
 protected:
  // An unsorted file with a mode and times of its own.
  std::string SaveUnsorted(const UnsortedDef& def, const std::string& name) {
    const std::string path = dir.File(name);
    BuildUnsortedFile(def).writer.Save(path);
    Age(path);
    return path;
  }
  static void Age(const std::string& path) {
    ::chmod(path.c_str(), 0640);
    const timespec times[2] = {{1500000000, 111}, {1600000000, 222}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  // Runs the replacement as an import does: the library started anew.
  bool Run(const std::string& path) {
    EXPECT_EQ(MdfInitLibrary("ZephanorImport"), kMdfOk);
    return ReplaceBySortedCopy(path);
  }
};

TEST_F(Replace, PutsTheVerifiedCopyInPlaceWithTheOriginalsAttributes) {
  const UnsortedDef def = RichFile(2, 21);
  const std::string path = SaveUnsorted(def, "run.mdf");
  ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
  const std::string original = ReadFileBytes(path);
  Age(path);

  ASSERT_TRUE(Run(path));
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 222);
  EXPECT_EQ(st.st_atim.tv_sec, 1500000000);
  if (geteuid() == 0) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
  }
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"run.mdf"});
  EXPECT_EQ(CheckLinks(ReadFileBytes(path)), std::vector<std::string>());
  GroupValues values;
  ExpectCopyHoldsRecords(original, path, &values);
  EXPECT_EQ(values, BuiltValues(def));
  EXPECT_EQ(MdfNeedsSorting(path), kMdfOk);
}

TEST_F(Replace, ASortedFileStaysAsItIs) {
  const std::string path = dir.File("sorted.mdf");
  BuildFile(SimpleFileDef(2, 2, 5)).writer.Save(path);
  const Snapshot before = Take(path);
  EXPECT_TRUE(Run(path));
  EXPECT_TRUE(Take(path) == before);
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"sorted.mdf"});
}

// The corpus's unsorted file, replaced by its sorted copy, reads through the
// mdf/ reader (which reads sorted files only) to the oracle's values.
TEST_F(Replace, TheCorpusFileDecodesToTheOraclesValues) {
  SKIP_WITHOUT_CORPUS();
  const std::string name = "mdf/gen_unsorted_v300.mdf";
  const std::string path = dir.File("gen_unsorted_v300.mdf");
  fs::copy_file(CorpusFile(name), path);
  ::chmod(path.c_str(), 0644);
  const std::string original = ReadFileBytes(path);
  ASSERT_TRUE(Run(path));
  EXPECT_EQ(CheckLinks(ReadFileBytes(path)), std::vector<std::string>());
  GroupValues values;
  ExpectCopyHoldsRecords(original, path, &values);

  const nlohmann::json oracle = LoadOracle(name);
  ASSERT_EQ(values.size(), oracle["groups"].size());
  for (size_t g = 0; g < values.size(); ++g) {
    const nlohmann::json& group = oracle["groups"][g];
    ASSERT_EQ(values[g].size(), group["channels"].size());
    for (size_t c = 0; c < values[g].size(); ++c) {
      const nlohmann::json& raw = group["channels"][c]["raw"];
      SCOPED_TRACE(group["channels"][c]["name"].get<std::string>());
      const std::vector<double>& v = values[g][c];
      ASSERT_EQ(v.size(), raw["count"].get<size_t>());
      for (size_t i = 0; i < raw["first"].size(); ++i) EXPECT_EQ(v[i], raw["first"][i].get<double>());
      for (size_t i = 0; i < raw["last"].size(); ++i)
        EXPECT_EQ(v[v.size() - raw["last"].size() + i], raw["last"][i].get<double>());
      EXPECT_EQ(*std::min_element(v.begin(), v.end()), raw["min"].get<double>());
      EXPECT_EQ(*std::max_element(v.begin(), v.end()), raw["max"].get<double>());
    }
  }
}

// The source's name decides nothing about the copy's: a file named like a
// copy gets a copy of another name, an existing file of a copy's name that is
// no copy of this file is passed over and kept, and a link has its target
// replaced and stays a link. The copy has no name until it is verified (or,
// without unnamed files, the name it gets at once), and none stays behind.
TEST_F(Replace, NamesTheCopyBesideTheTargetWithoutTouchingOtherFiles) {
  struct Case {
    const char* name;
    const char* file;    // what the user names
    const char* target;  // what is sorted
    std::set<std::string> others;
    const char* copy;  // the copy's name
  };
  const Case cases[] = {
      {"a file named like its copy", "x.$$$", "x.$$$", {}, "x.$$$1"},
      {"a copy's name taken", "x.mdf", "x.mdf", {"x.$$$"}, "x.$$$1"},
      {"two copies' names taken", "x.mdf", "x.mdf", {"x.$$$", "x.$$$1"}, "x.$$$2"},
      {"a link", "link.mdf", "data/x.dat", {}, "data/x.$$$"},
  };
  for (bool unnamed : {true, false}) {
    SetUnnamedCopies(unnamed);
    for (const Case& k : cases) {
      for (bool fail : {false, true}) {
        SCOPED_TRACE(std::string(k.name) + (fail ? ", verification failing" : "") +
                     (unnamed ? "" : ", named copies"));
        TempDir here;
        fs::create_directory(here.File("data"));
        const UnsortedDef def = RichFile(1, 4);
        const std::string target = here.File(k.target);
        BuildUnsortedFile(def).writer.Save(target);
        Age(target);
        if (std::string(k.file) != k.target) fs::create_symlink(target, here.File(k.file));
        for (const std::string& other : k.others) WriteFileBytes(here.File(other), "keep " + other);
        const Snapshot before = Take(target);
        const std::set<std::string> listing = Listing(here.Path()), inData = Listing(here.File("data"));
        std::string verified, renamed;
        SetBeforeVerifyHook([&](const std::string& temp) {
          verified = temp;
          // Nothing new beside the file while the copy is unnamed.
          if (unnamed) {
            EXPECT_EQ(Listing(here.Path()), listing);
          }
          if (fail) WriteFileBytes(temp, ReadFileBytes(temp).substr(0, 300));
        });
        SetBeforeRenameHook([&](const std::string& temp) { renamed = temp; });
        if (fail) script.Box(ImportErrorBox(kMdfErrWrite));
        EXPECT_EQ(Run(here.File(k.file)), !fail);
        SetBeforeVerifyHook(nullptr);
        SetBeforeRenameHook(nullptr);
        EXPECT_EQ(verified.starts_with("/proc/self/fd/"), unnamed);
        if (!unnamed) {
          EXPECT_EQ(verified, here.File(k.copy));
        }
        EXPECT_EQ(renamed, fail ? std::string() : here.File(k.copy));
        EXPECT_FALSE(fs::exists(here.File(k.copy)));
        EXPECT_EQ(Listing(here.Path()), listing);
        EXPECT_EQ(Listing(here.File("data")), inData);
        for (const std::string& other : k.others) EXPECT_EQ(ReadFileBytes(here.File(other)), "keep " + other);
        if (std::string(k.file) != k.target) {
          EXPECT_TRUE(fs::is_symlink(here.File(k.file)));
        }
        if (fail) {
          EXPECT_TRUE(Take(target) == before);
        } else {
          EXPECT_EQ(MdfNeedsSorting(target), kMdfOk);
        }
        EXPECT_TRUE(script.Ok()) << script.Report();
      }
    }
  }
  SetUnnamedCopies(true);
}

// Copies that sorts of the file left when they died are removed by the next
// one: files of ours under the copy names that begin as the file does (an
// empty one too) and whose sort is gone. A copy whose sort still runs, and a
// file of a copy's name that begins otherwise, stay.
TEST_F(Replace, CopiesLeftByDeadSortsAreRemovedByTheNext) {
  const std::string path = SaveUnsorted(RichFile(2, 9), "run.mdf");
  const std::string bytes = ReadFileBytes(path);
  WriteFileBytes(dir.File("run.$$$"), bytes.substr(0, 5000));  // begins as the file does
  WriteFileBytes(dir.File("run.$$$1"), "");
  WriteFileBytes(dir.File("run.$$$2"), bytes.substr(0, 40));
  WriteFileBytes(dir.File("run.$$$3"), "MDF     3.30    someone else's");
  WriteFileBytes(dir.File("run.$$$4"), bytes);
  WriteFileBytes(dir.File("run.$$$x"), bytes);  // no copy name
  WriteFileBytes(dir.File("other.$$$"), bytes);  // another file's copy name
  // A live sort's copy: its mark is held.
  const int live = ::open(dir.File("run.$$$4").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(live, 0);
  struct flock fl{};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(kSortCopyLiveMark);
  fl.l_len = 1;
  ASSERT_EQ(::fcntl(live, F_OFD_SETLK, &fl), 0);
  ASSERT_TRUE(Run(path));
  ::close(live);
  EXPECT_EQ(Listing(dir.Path()),
            (std::set<std::string>{"run.mdf", "run.$$$3", "run.$$$4", "run.$$$x", "other.$$$"}));
  EXPECT_EQ(MdfNeedsSorting(path), kMdfOk);
}

// A writer that ignores the lock and changes the file while it is sorted
// keeps its change: the file is left as the writer left it, the copy goes,
// and one box says why.
TEST_F(Replace, AFileChangedDuringTheSortIsLeftAsTheWriterLeftIt) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> write;
  };
  const auto keepTimes = [](const std::string& path, const std::function<void()>& change) {
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    change();
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  const Case cases[] = {
      {"bytes appended", [](const std::string& p) { WriteFileBytes(p, ReadFileBytes(p) + "more"); }},
      {"a header field rewritten, the times put back",
       [&](const std::string& p) {
         keepTimes(p, [&] {
           std::string b = ReadFileBytes(p);
           b[64 + hd::kAuthor] = 'Z';
           const int fd = ::open(p.c_str(), O_WRONLY | O_CLOEXEC);
           ASSERT_EQ(::pwrite(fd, b.data(), b.size(), 0), static_cast<ssize_t>(b.size()));
           ::close(fd);
         });
       }},
      {"the same bytes written again, the times put back",
       [&](const std::string& p) {
         keepTimes(p, [&] {
           const std::string b = ReadFileBytes(p);
           const int fd = ::open(p.c_str(), O_WRONLY | O_CLOEXEC);
           ASSERT_EQ(::pwrite(fd, b.data(), 100, 0), 100);
           ::close(fd);
         });
       }},
      {"another file renamed over it",
       [](const std::string& p) {
         WriteFileBytes(p + ".new", ReadFileBytes(p));
         ASSERT_EQ(::rename((p + ".new").c_str(), p.c_str()), 0);
       }},
  };
  winport::ui::ExpectedDialog box;
  box.text = "Sortieren: Die Datei wurde w\xE4hrend des Sortierens ge\xE4ndert";
  box.caption = "MDF-Import-Fehler";
  box.type = MB_OK | MB_ICONSTOP;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = SaveUnsorted(RichFile(2, 12), "run.mdf");
    std::string written;
    SetBeforeVerifyHook([&](const std::string&) {
      k.write(path);
      written = ReadFileBytes(path);
    });
    script.Box(box);
    EXPECT_FALSE(Run(path));
    SetBeforeVerifyHook(nullptr);
    EXPECT_TRUE(script.Ok()) << script.Report();
    EXPECT_EQ(ReadFileBytes(path), written);
    EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"run.mdf"});
    fs::remove(path);
  }
}

// Any failure leaves the file as it was, removes the copy and shows one box.
TEST_F(Replace, AnyFailureLeavesTheFileUnchanged) {
  const UnsortedDef def = RichFile(2, 33);
  // The file layer's operations in a replacement that succeeds, and its result.
  std::vector<MdfFileOp> ops;
  std::string sorted;
  {
    const std::string path = SaveUnsorted(def, "count.mdf");
    Faults count;
    ASSERT_TRUE(Run(path));
    ops = count.ops;
    sorted = ReadFileBytes(path);
    fs::remove(path);
  }
  ASSERT_GE(ops.size(), 8u);
  ASSERT_EQ(ops.back(), MdfFileOp::Sync);  // the directory's
  const size_t firstSync = std::find(ops.begin(), ops.end(), MdfFileOp::Sync) - ops.begin();

  struct Case {
    std::string name;
    winport::ui::ExpectedDialog box;
    std::function<void(BuiltUnsorted&)> damage = nullptr;
    size_t failAt = 0;
    bool verificationFails = false;
    rlim_t sizeLimit = 0;
  };
  std::vector<Case> cases;
  for (size_t k = 1; k <= ops.size(); ++k) {
    const MdfFileOp op = ops[k - 1];
    const char* kinds[] = {"read", "write", "sync", "rename"};
    Case c{"operation " + std::to_string(k) + " (" + kinds[static_cast<int>(op)] + ") fails", {}};
    c.failAt = k;
    c.box = op == MdfFileOp::Rename                    ? RenameBox()
            : op == MdfFileOp::Read && k <= firstSync ? ImportErrorBox(kMdfErrRead)
                                                       : ImportErrorBox(kMdfErrWrite);
    cases.push_back(c);
  }
  cases.push_back(Case{"verification fails", ImportErrorBox(kMdfErrWrite), nullptr, 0, true});
  cases.push_back(Case{"the file size limit is reached", ImportErrorBox(kMdfErrWrite), nullptr, 0, false, 40000});
  cases.push_back(Case{"an unknown id", ImportErrorBox(kMdfErrFileFormat),
                       [](BuiltUnsorted& b) { b.writer.PatchU8(b.data, 9); }});
  cases.push_back(Case{"a surplus record", ImportErrorBox(kMdfErrFileFormat), [](BuiltUnsorted& b) {
                         b.writer.PatchU32(b.groups[2].cg + cg::kRecordCount, 16);
                         b.writer.PatchU32(b.groups[0].cg + cg::kRecordCount, 24);
                       }});
  cases.push_back(Case{"truncated data", ImportErrorBox(kMdfErrFileFormat),
                       [](BuiltUnsorted& b) { b.writer.Truncate(b.writer.Size() - 5); }});

  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    BuiltUnsorted built = BuildUnsortedFile(def);
    if (k.damage) k.damage(built);
    const std::string path = dir.File("run.mdf");
    built.writer.Save(path);
    Age(path);
    const Snapshot before = Take(path);
    const std::set<std::string> listing = Listing(dir.Path());
    if (k.verificationFails)
      SetBeforeVerifyHook([](const std::string& temp) { WriteFileBytes(temp, ReadFileBytes(temp).substr(0, 300)); });
    script.Box(k.box);
    bool replaced = false;
    {
      Faults faults(k.failAt);
      rlimit saved{};
      ::getrlimit(RLIMIT_FSIZE, &saved);
      sighandler_t handler = SIG_DFL;
      if (k.sizeLimit) {
        handler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = k.sizeLimit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
      }
      replaced = Run(path);
      if (k.sizeLimit) {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, handler);
      }
    }
    SetBeforeVerifyHook(nullptr);
    EXPECT_FALSE(replaced);
    EXPECT_TRUE(script.Ok()) << script.Report();
    EXPECT_EQ(Listing(dir.Path()), listing);
    if (k.failAt == ops.size()) {
      // The directory's sync comes after the rename: the complete copy is in place.
      EXPECT_EQ(ReadFileBytes(path), sorted);
    } else {
      EXPECT_TRUE(Take(path) == before);
    }
    fs::remove(path);
  }
}

// Writers are kept out from start to rename, and a file that a writer holds,
// or that is not there, is left alone.
TEST_F(Replace, HoldsTheFileAgainstWritersUntilTheRename) {
  const std::string path = SaveUnsorted(RichFile(1, 8), "run.mdf");
  bool refused = false;
  SetBeforeVerifyHook([&](const std::string&) {
    winport::File writer;
    refused = !writer.Open(path, winport::FileAccess::ReadWrite, winport::FileShare::ReadWrite);
  });
  EXPECT_TRUE(Run(path));
  SetBeforeVerifyHook(nullptr);
  EXPECT_TRUE(refused);

  const std::string held = SaveUnsorted(RichFile(1, 9), "held.mdf");
  const Snapshot before = Take(held);
  winport::File writer;
  ASSERT_TRUE(writer.Open(held, winport::FileAccess::ReadWrite, winport::FileShare::ReadWrite));
  script.Box(ImportErrorBox(kMdfCannotOpenFile));
  EXPECT_FALSE(Run(held));
  writer.Close();
  EXPECT_TRUE(Take(held) == before);

  script.Box(ImportErrorBox(kMdfCannotOpenFile));
  EXPECT_FALSE(Run(dir.File("missing.mdf")));
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"run.mdf", "held.mdf"}));
}

// The directory must be writable for the rename.
TEST_F(Replace, AnUnwritableDirectoryStopsBeforeAnythingIsMade) {
  const std::string inner = dir.File("readonly");
  fs::create_directory(inner);
  const std::string path = inner + "/run.mdf";
  BuildUnsortedFile(RichFile(1, 2)).writer.Save(path);
  ::chmod(path.c_str(), 0666);
  ::chmod(inner.c_str(), 0555);
  const Snapshot before = Take(path);
  const std::string text = std::string("Die Datei\n") + path +
                           "\nmu\xDF sortiert werden, es besteht aber keine\nSchreibberechtigung auf diesem "
                           "Verzeichnis!\nDeshalb wird abgebrochen.";
  if (geteuid() != 0) {
    winport::ui::ExpectedDialog box;
    box.text = text;
    box.caption = "Import-Fehler";
    box.type = MB_OK | MB_ICONSTOP;
    script.Box(box);
    EXPECT_FALSE(Run(path));
  } else {
    // Root may write anywhere: a child that is nobody tries.
    ::chmod(dir.Path().c_str(), 0711);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      winport::ui::Headless().Reset();
      winport::ui::Headless().SetFailureHandler([](const std::string&) {});
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
      MdfInitLibrary(nullptr);
      const bool replaced = ReplaceBySortedCopy(path);
      const auto log = winport::ui::Headless().Log();
      const bool oneBox = log.size() == 1 && log[0].text == text && log[0].caption == "Import-Fehler" &&
                          log[0].flags == (MB_OK | MB_ICONSTOP);
      _exit(!replaced && oneBox ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  ::chmod(inner.c_str(), 0755);
  EXPECT_TRUE(Take(path) == before);
  EXPECT_EQ(Listing(inner), std::set<std::string>{"run.mdf"});
}

// A large file's bytes, read in one piece.
std::string Slurp(const std::string& path) {
  std::string bytes(static_cast<size_t>(fs::file_size(path)), '\0');
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  size_t done = 0;
  while (fd >= 0 && done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (fd >= 0) ::close(fd);
  bytes.resize(done);
  return bytes;
}

// Killed at any moment (SIGKILL or SIGTERM), a replacement leaves either the
// original or the complete sorted copy in place, never anything between, and
// no copy behind it. The one moment a copy can be left is between its naming
// and the rename; it is then complete, and the next import removes it.
TEST_F(Replace, AKilledSortLeavesTheFileWholeAndNoCopy) {
  const std::string pristine = dir.File("pristine.mdf");
  ASSERT_TRUE(WriteUnsortedStream(pristine, 64u << 20, 99, nullptr));
  const std::string original = Slurp(pristine);
  const std::string path = dir.File("run.mdf");
  const std::set<std::string> clean{"pristine.mdf", "run.mdf"};

  // A replacement in a child; `setup` runs there first.
  auto runChild = [&](std::function<void()> setup = nullptr) {
    const pid_t child = fork();
    if (child == 0) {
      winport::ui::Headless().SetFailureHandler([](const std::string&) {});
      if (setup) setup();
      MdfInitLibrary("ZephanorImport");
      _exit(ReplaceBySortedCopy(path) ? 0 : 1);
    }
    return child;
  };
  auto wait = [](pid_t child) {
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    return status;
  };

  // One whole run: how long it takes and what it leaves.
  fs::copy_file(pristine, path, fs::copy_options::overwrite_existing);
  const auto start = std::chrono::steady_clock::now();
  const pid_t whole = runChild();
  ASSERT_GT(whole, 0);
  const int status = wait(whole);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto duration = std::chrono::steady_clock::now() - start;
  const std::string sorted = Slurp(path);
  ASSERT_NE(sorted, original);

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
  for (bool unnamed : {true, false}) {
    for (int signal : {SIGKILL, SIGTERM}) {
      fs::copy_file(pristine, path, fs::copy_options::overwrite_existing);
      const auto delay = std::chrono::microseconds(std::uniform_int_distribution<long>(0, micros)(random));
      const pid_t child = runChild([unnamed] { SetUnnamedCopies(unnamed); });
      ASSERT_GT(child, 0);
      std::this_thread::sleep_for(delay);
      ::kill(child, signal);
      wait(child);
      SCOPED_TRACE(std::string(unnamed ? "" : "named copies, ") + "signal " + std::to_string(signal) + " after " +
                   std::to_string(delay.count()) + " us");
      const std::string now = Slurp(path);
      EXPECT_TRUE(now == original || now == sorted) << "a file of " << now.size() << " bytes";
      const std::set<std::string> left = Listing(dir.Path());
      if (unnamed && left != clean) {
        // Killed between naming the copy and the rename: the copy is complete.
        EXPECT_EQ(left, (std::set<std::string>{"pristine.mdf", "run.mdf", "run.$$$"}));
        EXPECT_EQ(Slurp(dir.File("run.$$$")), sorted);
      }
      // The next import finds the file whole and leaves nothing else.
      if (now == original) {
        const pid_t next = runChild();
        const int done = wait(next);
        EXPECT_TRUE(WIFEXITED(done) && WEXITSTATUS(done) == 0);
        EXPECT_EQ(Slurp(path), sorted);
      }
      EXPECT_EQ(Listing(dir.Path()), clean);
      for (const std::string& name : Listing(dir.Path()))
        if (!clean.count(name)) fs::remove(dir.File(name));
    }
  }

  // Killed at the moment the copy has its name: the next import removes it.
  fs::copy_file(pristine, path, fs::copy_options::overwrite_existing);
  const pid_t named = runChild([] { SetBeforeRenameHook([](const std::string&) { ::raise(SIGKILL); }); });
  wait(named);
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"pristine.mdf", "run.mdf", "run.$$$"}));
  EXPECT_EQ(Slurp(path), original);
  const int next = wait(runChild());
  EXPECT_TRUE(WIFEXITED(next) && WEXITSTATUS(next) == 0);
  EXPECT_EQ(Listing(dir.Path()), clean);
  EXPECT_EQ(Slurp(path), sorted);
}

}  // namespace
