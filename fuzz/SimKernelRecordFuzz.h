#pragma once
// One fuzz input for the simulated kernel's decoding of multicast-routing records: libFuzzer's entry point calls it, and the test suite replays
// the seed corpus and seeded mutations of it through it.

#include <cstddef>
#include <cstdint>

int simKernelRecordFuzz(std::uint8_t const* data, std::size_t size);
