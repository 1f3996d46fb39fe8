// A read of a module's flat data space, as the file-import object's Read
// serves it to the host.
#pragma once

#include <cstdint>

namespace smallimports {

// The bytes copied into the caller's buffer, and how far the position moves
// (the request cut to the data space, also over bytes where nothing lies).
struct DataSpaceRead {
  uint32_t copied = 0;
  uint32_t advance = 0;
};

}  // namespace smallimports
