// An empty ICU common data package, linked in place of ICU's data library.
//
// veltro asks ICU only for case mapping in the root locale and for character
// properties (White_Space, Alphabetic, general category). ICU's common library
// carries the tables for those in its own code; the data library holds
// everything else (collation, locales, converters) and weighs about 30 MB.
// ICU's common library refers to the data library through one symbol, whose
// name carries the ICU version (utypes.h derives it), so this file defines that
// symbol as a valid common data package with no entries: a lookup that would
// need the data library fails cleanly with an error code instead of crashing.

#include <unicode/udata.h>
#include <unicode/utypes.h>

#include <cstddef>
#include <cstdint>

namespace {

// The layout ICU checks before it reads a common data package: a header (its
// size, two magic bytes, the data description) padded to a multiple of 16
// bytes, then a table of contents whose first word counts its entries.
struct alignas(16) EmptyCommonData {
  std::uint16_t header_size;
  std::uint8_t magic1;
  std::uint8_t magic2;
  UDataInfo info;
  std::uint8_t padding[8];
  std::uint32_t entry_count;
};

static_assert(sizeof(UDataInfo) == 20);
static_assert(offsetof(EmptyCommonData, entry_count) == 32);

}  // namespace

extern "C" U_EXPORT const EmptyCommonData U_ICUDATA_ENTRY_POINT = {
    32,    // header size: everything before the table of contents
    0xda,  // magic bytes ICU expects of mapped data
    0x27,
    {
        sizeof(UDataInfo),
        0,
        U_IS_BIG_ENDIAN,
        U_CHARSET_FAMILY,
        sizeof(UChar),
        0,
        {'C', 'm', 'n', 'D'},  // common data with a table of offsets
        {1, 0, 0, 0},          // its format version
        {0, 0, 0, 0},          // data version
    },
    {},
    0,  // no entries
};
