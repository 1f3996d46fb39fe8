// A read of a module's flat data space, as the file-import object's Read
// serves it to the host.
#pragma once

#include <cstdint>

namespace smallimports {

// The bytes copied into the caller's buffer, and how far the position moves
// (the request cut to the data space, also over bytes where nothing lies).
// A read whose source no longer holds every byte asked (a file cut after the
// import) is not complete: what it copied is not to be delivered.
struct DataSpaceRead {
  uint32_t copied = 0;
  uint32_t advance = 0;
  bool complete = true;
};

}  // namespace smallimports
