#pragma once
// Every message of the text module, in one place.
#include <string_view>

#include "runtime/arguments.h"

namespace veltro::text_messages {

inline constexpr std::string_view kNoSuchFunction = "Text module has no function '{}'";

inline constexpr ArgumentMessages kArguments{
    "text.{} expects {} arguments but got {}",
    "text.{} expects {} as argument {}, got {}",
};

inline constexpr std::string_view kTooLong = "text.{} would build a string of more than {} bytes";
inline constexpr std::string_view kNegativeRepeat = "text.repeat count must not be negative, got {}";
inline constexpr std::string_view kNotOneCharacter = "text.code expects one character, got {} characters";
inline constexpr std::string_view kNotCodePoint =
    "text.char expects a code point from 0 to 1114111 that is not a surrogate, got {}";
inline constexpr std::string_view kFixedDigits = "text.fixed expects 0 to {} digits, got {}";

}  // namespace veltro::text_messages
