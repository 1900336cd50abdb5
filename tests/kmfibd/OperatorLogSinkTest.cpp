#include <gtest/gtest.h>

#include <sstream>

#include "tools/kmfibd/OperatorLogSink.h"

namespace {

struct Case {
  char const* name;
  Trace::Handle::Levels operatorLevels;
  char const* written;
};

class OperatorLogSinkCase : public testing::TestWithParam<Case> {};

TEST_P(OperatorLogSinkCase, HearsTheReviewEndAndPassesOnWhatTheOperatorSelected) {
  std::ostringstream out;
  int finished = 0;
  Kmfibd::OperatorLogSink sink(out, GetParam().operatorLevels, [&] { ++finished; });
  sink.write(1.5, "kmfibd", 1, "namespace default: socket 3 opened");
  sink.write(2.0, "KernelMfibSm", 4, "Starting review of all routes");
  sink.write(2.5, "KernelMfibSm", 4, "Finished review of all routes");
  sink.write(3.0, "KernelMfibSm", 8, "Programming route");
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(out.str(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Selections, OperatorLogSinkCase,
                         testing::Values(Case{"NothingSelected", 0,
                                              "1.500000 kmfibd/1 namespace default: socket 3 opened\n"
                                              "3.000000 KernelMfibSm/8 Programming route\n"},
                                         Case{"ReviewLevelSelected", 1u << 4,
                                              "1.500000 kmfibd/1 namespace default: socket 3 opened\n"
                                              "2.000000 KernelMfibSm/4 Starting review of all routes\n"
                                              "2.500000 KernelMfibSm/4 Finished review of all routes\n"
                                              "3.000000 KernelMfibSm/8 Programming route\n"}),
                         [](auto const& info) { return std::string(info.param.name); });

}  // namespace
