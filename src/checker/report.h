#pragma once
// Writing findings: one line each in the form compilers use, or JSON.
#include <string>
#include <vector>

#include "checker/finding.h"

namespace veltro::check {

// PATH:LINE:COL: warning: MESSAGE [V101]
[[nodiscard]] std::string text_line(const Finding& finding);

// A JSON array of objects with path, line, column, end_line and end_column
// (when known), severity, code and message.
[[nodiscard]] std::string json_report(const std::vector<Finding>& findings);

}  // namespace veltro::check
