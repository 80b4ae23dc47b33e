#include "parser/parser_impl.h"

namespace veltro {

template class BasicParser<false>;

}  // namespace veltro
