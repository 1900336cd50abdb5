#include "fuzz/StatementParserFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  return statementParserFuzz(data, size);
}
