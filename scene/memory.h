#pragma once

#include <cstdint>
#include <optional>

// The bytes this process can still take, as far as the system says: the memory the machine has
// available, and no more than an address-space limit (ulimit -v) or the control group's memory
// limit leaves. None where the system says nothing (then running short shows as failed
// allocations, which the renderer answers with fewer frames at once).
[[nodiscard]] std::optional<std::uint64_t> availableMemoryBytes();
