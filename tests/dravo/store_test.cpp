// The file layer and the block store.
#include "dravo/blocks.h"
#include "dravo/filelayer.h"
#include "dravo/internal.h"
#include "tests/dravo/dravo_files.h"

using namespace dravo;
using namespace dravotest;

namespace {

// Counts the layer's system operations and fails the one with the given number.
class FaultCounter {
 public:
  explicit FaultCounter(int failAt = 0) : failAt_(failAt) {
    MdfSetFileFaultHook([this](MdfFileOp op) {
      ++counts_[static_cast<int>(op)];
      return ++all_ == failAt_;
    });
  }
  ~FaultCounter() { MdfSetFileFaultHook(nullptr); }
  int Reads() const { return counts_[0]; }
  int Writes() const { return counts_[1]; }

 private:
  int failAt_;
  int all_ = 0;
  int counts_[3] = {};
};

class Store : public LibraryTest {
 protected:
  std::unique_ptr<MdfFileHandle> OpenHandle(const std::string& path, uint16_t mode = kMdfFileRead) {
    std::unique_ptr<MdfFileHandle> handle;
    EXPECT_EQ(MdfOpenFile(&handle, path, mode, 4096), kMdfOk);
    return handle;
  }
};

TEST_F(Store, ReadsComeFromABufferOfAMebibyte) {
  std::string bytes(3 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  auto handle = OpenHandle(SaveBytes(bytes));
  FaultCounter counter;
  uint8_t b = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ(MdfReadFile(&b, 1, *handle), kMdfOk);
    ASSERT_EQ(b, static_cast<uint8_t>(i * 7));
  }
  EXPECT_EQ(counter.Reads(), 3);
  // Seeks move the tracked position only; going back into the buffer reads nothing.
  ASSERT_EQ(MdfSeekFile(*handle, (2 << 20) + 5, kMdfSeekBegin), kMdfOk);
  ASSERT_EQ(MdfReadFile(&b, 1, *handle), kMdfOk);
  EXPECT_EQ(b, static_cast<uint8_t>(((2 << 20) + 5) * 7));
  EXPECT_EQ(counter.Reads(), 3);
  // Origin 2 goes to the tracked end, whatever the offset.
  ASSERT_EQ(MdfSeekFile(*handle, -12345, kMdfSeekEnd), kMdfOk);
  EXPECT_EQ(MdfGetFilePosition(*handle), bytes.size());
}

TEST_F(Store, AFailedReadReportsAndRewinds) {
  auto handle = OpenHandle(SaveBytes(std::string(100, 'x')));
  ASSERT_EQ(MdfSeekFile(*handle, 90, kMdfSeekBegin), kMdfOk);
  uint8_t buffer[20];
  script.Box(ErrorBox(kMdfErrRead));
  EXPECT_EQ(MdfReadFile(buffer, sizeof buffer, *handle), kMdfErrRead);
  EXPECT_EQ(MdfGetFilePosition(*handle), 0u);

  // Seeks outside 32 bits are refused with the offset as detail.
  ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
  script.Box(ErrorBox(kMdfErrSeek, "-1"));
  EXPECT_EQ(MdfSeekFile(*handle, -1, kMdfSeekBegin), kMdfErrSeek);
}

TEST_F(Store, WritesStopAtFourGibibytesAndFaultsFailThem) {
  auto handle = OpenHandle(dir.File("out.mdf"), kMdfFileCreate);
  ASSERT_TRUE(handle);
  const char data[32] = "0123456789";
  ASSERT_EQ(MdfWriteFile(data, 10, *handle), kMdfOk);
  EXPECT_EQ(handle->End(), 10u);
  ASSERT_EQ(MdfSeekFile(*handle, 0xFFFFFFF0u, kMdfSeekBegin), kMdfOk);
  script.Box(ErrorBox(kMdfErrWrite));
  EXPECT_EQ(MdfWriteFile(data, sizeof data, *handle), kMdfErrWrite);
  EXPECT_EQ(ReadFileBytes(dir.File("out.mdf")), "0123456789");

  ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
  {
    FaultCounter failFirst(1);
    script.Box(ErrorBox(kMdfErrWrite));
    EXPECT_EQ(MdfSyncFile(*handle), kMdfErrWrite);
  }
  ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
  {
    FaultCounter failSecond(2);
    EXPECT_EQ(MdfWriteFile(data, 1, *handle), kMdfOk);
    script.Box(ErrorBox(kMdfErrWrite));
    EXPECT_EQ(MdfWriteFile(data, 1, *handle), kMdfErrWrite);
    EXPECT_EQ(failSecond.Writes(), 2);
  }
}

TEST_F(Store, AFileThatCannotBeOpenedReportsItsName) {
  const std::string missing = dir.File("missing.mdf");
  script.Box(ErrorBox(kMdfCannotOpenFile, missing)).Box(ErrorBox(kMdfCannotOpenFile, dir.Path()));
  std::unique_ptr<MdfFileHandle> handle;
  EXPECT_EQ(MdfOpenFile(&handle, missing, kMdfFileRead, 4096), kMdfCannotOpenFile);
  EXPECT_EQ(MdfOpenFile(&handle, dir.Path(), kMdfFileRead, 4096), kMdfCannotOpenFile);
  EXPECT_FALSE(handle);
}

TEST_F(Store, ImagesArePaddedAndReadOncePerPosition) {
  MdfWriter w;
  const uint32_t ce = w.AddCe(CeSpec{.type = 7, .body = "abcd"});  // 10 bytes
  const uint32_t tx = w.AddTx("0123456789");
  auto handle = OpenHandle(SaveBytes(w.Bytes()));
  MdfBlock* image = nullptr;
  ASSERT_EQ(MdfReadBlock(*handle, ce, &image), kMdfOk);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->kind, BlockKind::Ce);
  EXPECT_EQ(image->Size(), 10u);
  EXPECT_EQ(image->image.size(), 129u);
  EXPECT_EQ(std::string(image->image.begin() + 10, image->image.end()), std::string(119, '\0'));
  MdfBlock* again = nullptr;
  ASSERT_EQ(MdfReadBlock(*handle, ce, &again), kMdfOk);
  EXPECT_EQ(again, image);
  MdfBlock* text = nullptr;
  ASSERT_EQ(MdfReadBlock(*handle, tx, &text), kMdfOk);
  EXPECT_EQ(text->BodyText(), "0123456789");
  EXPECT_EQ(text->image.back(), 0);
  ASSERT_EQ(MdfReadBlock(*handle, 0, &text), kMdfOk);
  EXPECT_EQ(text, nullptr);
}

TEST_F(Store, LinksResolveToTheImageReadAtTheirPosition) {
  const std::string path = Save(BuildMdf({DgDef{.groups = {CgDef{.recordSize = 2, .records = 1,
                                                                   .channels = {{Channel("x", 0, 16, 0)}}}},
                                                 .data = LeBytes(5, 2)}}));
  auto handle = OpenHandle(path);
  MdfBlock* id = nullptr;
  MdfBlock* hd = nullptr;
  ASSERT_EQ(MdfReadStructure(*handle, &id, &hd, nullptr, false), kMdfOk);
  MdfBlock* first = nullptr;
  MdfBlock* second = nullptr;
  ASSERT_EQ(MdfResolveLink(*hd, layout::hd::kFirstDg, &first), kMdfOk);
  ASSERT_EQ(MdfResolveLink(*hd, layout::hd::kFirstDg, &second), kMdfOk);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->kind, BlockKind::Dg);
  EXPECT_EQ(hd->FindLink(layout::hd::kFirstDg)->resolved, first);
  // A link holding 0 resolves to nothing, silently; a field that is no link is reported.
  MdfBlock* none = id;
  ASSERT_EQ(MdfResolveLink(*hd, layout::hd::kComment, &none), kMdfOk);
  EXPECT_EQ(none, nullptr);
  script.Box(ErrorBox(kMdfErrUnknownLink));
  EXPECT_EQ(MdfResolveLink(*hd, layout::hd::kDgCount, &none), kMdfErrUnknownLink);
}

TEST_F(Store, RewritingABlockPutsItBackWhereItWasRead) {
  const std::string path = Save(BuildMdf({DgDef{}}));
  auto handle = OpenHandle(path, kMdfFileModify);
  MdfBlock* id = nullptr;
  MdfBlock* hd = nullptr;
  ASSERT_EQ(MdfReadStructure(*handle, &id, &hd, nullptr, false), kMdfOk);
  hd->SetText(layout::hd::kAuthor, layout::hd::kNameChars, "someone");
  ASSERT_EQ(MdfSeekFile(*handle, 10, kMdfSeekBegin), kMdfOk);
  ASSERT_EQ(MdfRewriteBlock(*handle, hd), kMdfOk);
  EXPECT_EQ(MdfGetFilePosition(*handle), 10u);
  EXPECT_EQ(hd->writtenPosition, 64u);
  handle.reset();
  EXPECT_EQ(ReadFileBytes(path).substr(64 + layout::hd::kAuthor, 8), std::string("someone\0", 8));
}

TEST_F(Store, NewBlocksHaveTheirKindsSizes) {
  MdfBlock* tx = nullptr;
  ASSERT_EQ(MdfCreateTextBlock(&tx, 10, "0123456789 and more"), kMdfOk);
  EXPECT_EQ(tx->Size(), 15u);
  EXPECT_EQ(tx->BodyText(), "0123456789");
  EXPECT_EQ(tx->Data()[14], 0);
  struct Case {
    uint16_t type, count;
    uint32_t size;
  } cases[] = {{1, 3, 46 + 48}, {2, 1, 46 + 16}, {11, 2, 46 + 80}, {0, 2, 46 + 16}, {12, 2, 46 + 16}};
  for (const Case& c : cases) {
    MdfBlock* cc = nullptr;
    ASSERT_EQ(MdfCreateConversionBlock(&cc, c.type, c.count), kMdfOk);
    EXPECT_EQ(cc->Size(), c.size) << c.type;
    EXPECT_EQ(cc->U16(layout::cc::kCount), c.count);
  }
  MdfBlock* tr = nullptr;
  ASSERT_EQ(MdfCreateTriggerBlock(&tr, 2), kMdfOk);
  EXPECT_EQ(tr->Size(), 82u);
  MdfBlock* cn = nullptr;
  ASSERT_EQ(MdfCreateBlock(BlockKind::Cn, &cn), kMdfOk);
  EXPECT_EQ(cn->Size(), 218u);
  EXPECT_EQ(cn->linkCount, 5);
  // Sizes that do not fit the 16-bit size field are refused.
  script.Box(ErrorBox(kMdfErrFileFormat));
  EXPECT_EQ(MdfCreateConversionBlock(&cn, 11, 65535), kMdfErrFileFormat);
}

}  // namespace
