// What the three layout loaders share: the failure of a record layout as a
// thrown message code, and the filling of interleaved records from columns.
#pragma once

#include <cstddef>
#include <new>
#include <span>

#include "quenvo/mat_loader.h"

namespace quenvo {

// A record layout's failure: its message code.
struct LayoutError {
  LoadStatus status;
};
[[noreturn]] inline void Fail(LoadStatus status) { throw LayoutError{status}; }

// Runs a record layout's body; any failure closes the file and turns into its status.
template <class Body>
LoadStatus RunRecordLayout(MatFile& file, Body&& body) {
  LoadStatus status = LoadStatus::UnknownError;
  try {
    return body();
  } catch (const LayoutError& e) {
    status = e.status;
  } catch (const std::bad_alloc&) {
    status = LoadStatus::NotEnoughMemory;
  } catch (...) {
    status = LoadStatus::UnknownError;
  }
  file.Close();
  return status;
}

// One column of the records: the first `count` elements of a numeric array,
// stored at double `offset` of each record.
struct Column {
  const mxArray* values = nullptr;
  size_t count = 0;
  size_t offset = 0;
};

// Writes each column into records of `recordDoubles` doubles from the start
// of `block`, a tile of records at a time, so that the records being written
// stay in the cache while every column passes.
void FillRecords(double* block, size_t recordDoubles, std::span<const Column> columns);

// Allocates the block for `records` records of `recordDoubles` doubles (zero-filled);
// a data space above the contract's limit, or no memory, fails with 203.
void AllocateRecords(DataBlock& block, size_t recordDoubles, size_t records);

}  // namespace quenvo
