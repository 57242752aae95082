#pragma once
// The dispatch table of carved-file size rules: one entry per FileTypeCode.
// Each rule reads only through read_carve_bytes and returns a CarveStatus
// (3 pending, 4 sized with state.size set, 5 invalid; it may return 2 for
// bytes that can never come, which determine_size turns into 5). A rule is
// re-run from the carve window with the state it left when it answered 3, so
// it keeps its progress in the state's offset and scratch fields.

#include <array>
#include <cstdint>

#include "content/carve.h"

namespace trovium {

using SizeRule = uint32_t (*)(const CarveBuffer& buffer, CarveState& state);

// Indexed by code (0..255); a null entry means "no size rule" (status 0).
using SizeRuleTable = std::array<SizeRule, 256>;

// The process-wide table, built once (thread-safe) in size_rules.cpp.
const SizeRuleTable& size_rule_table();

}  // namespace trovium
