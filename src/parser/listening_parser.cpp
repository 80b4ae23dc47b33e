#include "parser/parser_impl.h"

namespace veltro {

template class BasicParser<true>;

}  // namespace veltro
