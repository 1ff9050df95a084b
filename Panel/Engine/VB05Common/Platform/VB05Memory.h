#pragma once

// The sizes of the main memory and of the eMMC, as the memory page shows them.

#include <cstdint>

namespace Vx::VB05
{
enum MemoryKind : std::int32_t
{
    MEMORY_KIND_RAM = 0,
    MEMORY_KIND_EMMC = 1,
};

// The size in bytes of the kind; another kind logs an assertion and gives false.
bool GetMemorySize(MemoryKind kind, std::uint64_t& size);
// Physical pages times the page size, in 64 bits.  False only when the system
// does not tell either (which a running system always does).
bool GetRAMSize(std::uint64_t& size);
// The size of the eMMC's whole device; false when there is no eMMC or its
// size cannot be read.
bool GetEMMCSize(std::uint64_t& size);
} // namespace Vx::VB05
