#pragma once
// JSON text of a value: compact (no spaces), integers as digits, floats in
// their display form, anything without a JSON counterpart as null.
#include <string>
#include <string_view>

#include "runtime/value.h"

namespace veltro::http {

void append_json(std::string& out, const Value& value);
[[nodiscard]] std::string json_text(const Value& value);

// A JSON string literal: quotes, with the quote, the backslash and the
// control characters escaped.
void append_json_string(std::string& out, std::string_view text);

}  // namespace veltro::http
