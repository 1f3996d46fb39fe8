// The state behind the file-import object: the options, the current import
// (signals and data block), its comments, and the read position in the flat
// data space.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "quenvo/mat_loader.h"
#include "quenvo/options.h"
#include "quenvo/records.h"

namespace quenvo {

class FileImport {
 public:
  static constexpr int32_t kVersion = 257;
  static constexpr int32_t kNoOfComments = 256;

  // Where "Quenvo_Options.INI" is read (the module's folder by default).
  void SetOptionsFile(std::string path) { optionsFile_ = std::move(path); }

  // Releases the import held, reads the options unless the host put its
  // block, clears the comments and loads the file; a failed load shows its
  // message box and keeps nothing of the file. The status of the load.
  LoadStatus ImportFile(const std::string& path);
  void ReleaseFile();
  // 1 for a level-5 MAT-file in the channel-struct or X/Y layout, else 0.
  static int32_t IsValid(const std::string& path);

  void Open();
  void Close();
  // Origin 0 from the start, 1 from the position, 2 back from the end; others leave the position.
  void Seek(int64_t offset, int32_t origin);
  // Copies up to `bytes` bytes from the position; returns the bytes copied.
  uint32_t Read(uint8_t* buffer, uint32_t bytes);

  int32_t SignalCount() const;
  uint32_t BlockSize() const;
  uint64_t DataSize() const;
  // The import that signal objects hold weakly; empty between imports.
  std::weak_ptr<const ImportedFile> Imported() const { return imported_; }

  // 0: the file comment; 1 to 255: the comment of that slot when it has a text.
  std::optional<std::string> FileComment(int32_t index) const;
  // 1 to 255: the name of that slot when it has one.
  std::optional<std::string> CommentName(int32_t index) const;

  ParameterBlock& Parameters() { return parameters_; }
  // Takes the host's block; see ParameterBlock::CopyFromHost.
  void PutParameters(const uint8_t* host);

 private:
  ParameterBlock parameters_;
  bool parametersPut_ = false;
  std::string optionsFile_;
  ImportComments comments_;
  std::shared_ptr<ImportedFile> imported_;
  int32_t openCount_ = 0;
  int64_t position_ = 0;
};

}  // namespace quenvo
