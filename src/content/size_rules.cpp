#include "content/size_rules.h"

namespace trovium {
namespace {

SizeRuleTable BuildTable() {
  SizeRuleTable table{};
  // Rules are registered here by code, one format family per source file.
  return table;
}

}  // namespace

const SizeRuleTable& size_rule_table() {
  static const SizeRuleTable table = BuildTable();
  return table;
}

}  // namespace trovium
