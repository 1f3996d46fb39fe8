// How a step of the host fails: the process's exit code, the step, the COM
// result where there is one, and what went wrong.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "platform/com/hresult.h"

namespace host {

enum class Exit : int {
  Ok = 0,
  Module = 1,      // a failed HRESULT of the module, IsValid 0
  Usage = 2,       // the command line
  Activation = 3,  // the module cannot be found, loaded or created
  FileIo = 4,      // a file of the host's own cannot be read or written
};

class Failure : public std::runtime_error {
 public:
  Failure(Exit exit, std::string step, std::optional<HRESULT> hr, std::string detail)
      : std::runtime_error(Compose(step, hr, detail)), exit(exit), step(std::move(step)), hr(hr),
        detail(std::move(detail)) {}

  Exit exit;
  std::string step;
  std::optional<HRESULT> hr;
  std::string detail;

 private:
  // "<step>: <HRESULT name> (0x...): <detail>", or "<step>: <detail>".
  static std::string Compose(const std::string& step, std::optional<HRESULT> hr, const std::string& detail) {
    return step + ": " + (hr ? winport::DescribeHResult(*hr) + ": " : std::string()) + detail;
  }
};

// A signal with values that the data space does not hold (ValuesPerBlock 0,
// or no blocks or bytes in the file's data space): a step that reads several
// signals can leave it out and go on.
class NoData : public Failure {
 public:
  NoData(std::string step, std::string detail) : Failure(Exit::Module, std::move(step), std::nullopt, std::move(detail)) {}
};

}  // namespace host
