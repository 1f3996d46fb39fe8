// The import contract's member tables, as the small modules take them: the
// newest form's tables of the import support library, of which the older
// forms are prefixes (16 and 40 members, Brevan's 21, 46 and 11).
#pragma once

#include <cstddef>

#include "importcore/contract.h"

namespace smallimports::contract {

using importcore::contract::kFileImportMembers;
using importcore::contract::kScalarMembers;
using importcore::contract::kSignalMembers;

// IFileImport and IISignal (Filmor, Hestor, Jorvel).
inline constexpr size_t kOlderFileMembers = 16;
inline constexpr size_t kOlderSignalMembers = 40;
// IZPFileImport, IZPSignal and IZPScalar of Brevan.
inline constexpr size_t kBrevanFileMembers = 21;
inline constexpr size_t kBrevanSignalMembers = 46;
inline constexpr size_t kScalarMemberCount = 11;

static_assert(std::size(kFileImportMembers) >= kBrevanFileMembers);
static_assert(std::size(kSignalMembers) >= kBrevanSignalMembers);
static_assert(std::size(kScalarMembers) == kScalarMemberCount);

}  // namespace smallimports::contract
