#pragma once
// One fuzz input for the statement parser and a host without an agent, on any bytes: libFuzzer's entry point calls it, and the test suite replays
// the seed corpus and seeded mutations of it through it.

#include <cstddef>
#include <cstdint>

int statementParserFuzz(std::uint8_t const* data, std::size_t size);
