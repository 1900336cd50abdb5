// libFuzzer target: the statement parser, on any bytes, line by line and for both
// families. A refusal is a StatementError; anything else thrown, or any crash or undefined
// behaviour, is a finding. An accepted line is also carried out on a host without an agent,
// whose refusals must be StatementErrors too.

#include "fuzz/StatementParserFuzz.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

#include "tools/kmfibd/Host.h"
#include "tools/kmfibd/StatementParser.h"

int statementParserFuzz(std::uint8_t const* data, std::size_t size) {
  std::string_view const text(reinterpret_cast<char const*>(data), size);
  for (auto af : {Plix::AddressFamily::ipv4, Plix::AddressFamily::ipv6}) {
    Kmfibd::StatementParser const parser(af);
    Kmfibd::Host host({.af = af, .agent = false});
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      try {
        if (auto s = parser.parse(text.substr(start, end - start))) {
          // Time stays short: a fuzzed `advance` must not run for hours of virtual time.
          if (s->kind != Kmfibd::Statement::Kind::advance || s->seconds < 100) {
            std::ostringstream out;
            host.apply(*s, out);
          }
        }
      } catch (Kmfibd::StatementError const&) {
      }
      start = end + 1;
    }
  }
  return 0;
}
