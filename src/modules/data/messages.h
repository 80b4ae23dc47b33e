#pragma once
// Every message of the data module, in one place.
#include <string_view>

#include "runtime/arguments.h"

namespace veltro::data_messages {

inline constexpr std::string_view kNoSuchFunction = "Data module has no function '{}'";

inline constexpr ArgumentMessages kArguments{
    "data.{} expects {} arguments but got {}",
    "data.{} expects {} as argument {}, got {}",
};

// The function, the index, the array's length.
inline constexpr std::string_view kIndexOutOfRange = "data.{} index {} is out of range for an array of {} elements";
inline constexpr std::string_view kSliceOutOfRange =
    "data.slice range {} to {} is out of range for an array of {} elements";
// The type name of the element, its index.
inline constexpr std::string_view kSortKinds = "data.sort expects only numbers or only strings, got {} at index {}";
inline constexpr std::string_view kSumKinds = "data.sum expects only numbers, got {} at index {}";

}  // namespace veltro::data_messages
