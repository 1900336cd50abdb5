#include <gtest/gtest.h>

#include <stdexcept>

#include "trace/Registry.h"
#include "trace/Selection.h"
#include "trace/SelectionScope.h"

namespace {

using Trace::Handle;
using Trace::Selection;

TEST(TraceSelection, LevelsPerHandle) {
  struct Case {
    char const* selection;
    char const* handle;
    Handle::Levels levels;
  };
  Case const cases[] = {
      {"", "KernelMfibSm", 0},
      {"  ", "KernelMfibSm", 0},
      {"KernelMfibSm/0-9,KernelMfibAgent/3", "KernelMfibSm", 0x3ff},
      {"KernelMfibSm/0-9,KernelMfibAgent/3", "KernelMfibAgent", 0x008},
      {"KernelMfibSm/0-9,KernelMfibAgent/3", "KernelMfibSmX", 0},
      {"KernelMfibSm", "KernelMfibSm", 0x3ff},
      {"A/0", "A", 0x001},
      {"A/9", "A", 0x200},
      {"A/07", "A", 0x080},
      {"A/2-4", "A", 0x01c},
      {"A/5-5", "A", 0x020},
      {"A/1,A/8", "A", 0x102},
      {" A/1 , B/2 ", "B", 0x004},
      {"*/7", "CreatedLater", 0x080},
      {"*/7,A/1", "A", 0x082},
      {"*", "X", 0x3ff},
      {"Ns::Sm/4", "Ns::Sm", 0x010},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(Selection::parse(c.selection).levelsFor(c.handle), c.levels) << c.selection << " for " << c.handle;
  }
}

TEST(TraceSelection, MalformedSelectionNamesTheBadEntry) {
  struct Case {
    char const* selection;
    char const* error;
  };
  Case const cases[] = {
      {"X/1,A/10", "trace selection \"X/1,A/10\": entry \"A/10\": level 10 is not in 0-9"},
      {"A/99999999999", "entry \"A/99999999999\": level 99999999999 is not in 0-9"},
      {"A/x", "entry \"A/x\": \"x\" is not a level"},
      {"A/3-", "entry \"A/3-\": \"\" is not a level"},
      {"A/-3", "entry \"A/-3\": \"\" is not a level"},
      {"A/+3", "entry \"A/+3\": \"+3\" is not a level"},
      {"A/1-2-3", "entry \"A/1-2-3\": \"2-3\" is not a level"},
      {"A/3/4", "entry \"A/3/4\": \"3/4\" is not a level"},
      {"A/9-2", "entry \"A/9-2\": range 9-2 runs backwards"},
      {"A/", "entry \"A/\": no levels after '/'"},
      {"/3", "entry \"/3\": no handle name before '/'"},
      {"A,,B", "entry \"\": empty entry"},
      {"A,", "entry \"\": empty entry"},
      {"A B/3", "entry \"A B/3\": trace handle name \"A B\" holds ' '"},
      {"Kernel*/3", "entry \"Kernel*/3\": trace handle name \"Kernel*\" holds '*'"},
  };
  for (auto const& c : cases) {
    try {
      Selection::parse(c.selection);
      ADD_FAILURE() << "accepted " << c.selection;
    } catch (std::invalid_argument const& e) {
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
  }
}

TEST(TraceSelection, AppliesToExistingAndLaterHandlesAndRestores) {
  auto& early = Trace::handle("SelectionTest.Early");
  ASSERT_EQ(early.levels(), 0);
  {
    Trace::SelectionScope scope("SelectionTest.Early/2,SelectionTest.Late/4-5,*/9");
    EXPECT_EQ(early.levels(), 0x204);
    auto& late = Trace::handle("SelectionTest.Late");
    EXPECT_EQ(late.levels(), 0x230);
    EXPECT_EQ(Trace::handle("SelectionTest.Other").levels(), 0x200);
    {
      Trace::SelectionScope inner("SelectionTest.Late");
      EXPECT_EQ(late.levels(), 0x3ff);
      EXPECT_EQ(early.levels(), 0);
    }
    EXPECT_EQ(late.levels(), 0x230);
    EXPECT_EQ(early.levels(), 0x204);
  }
  EXPECT_EQ(early.levels(), 0);
  EXPECT_EQ(Trace::handle("SelectionTest.Late").levels(), 0);
}

TEST(TraceSelection, MalformedSelectionChangesNothing) {
  Trace::SelectionScope scope("SelectionTest.Kept/3");
  auto& kept = Trace::handle("SelectionTest.Kept");
  EXPECT_THROW(Trace::selectionIs("SelectionTest.Kept/0-9,SelectionTest.Kept/x"), std::invalid_argument);
  EXPECT_THROW(Trace::SelectionScope("*/0-10"), std::invalid_argument);
  EXPECT_EQ(kept.levels(), 0x008);
  EXPECT_EQ(Trace::Registry::instance().selection().text(), "SelectionTest.Kept/3");
}

TEST(TraceSelection, HandleNamesASelectionCannotPickAreRefused) {
  for (char const* name : {"", "a/b", "a,b", "a b", "*", "x*"}) {
    EXPECT_THROW(Trace::handle(name), std::invalid_argument) << '"' << name << '"';
    EXPECT_EQ(Trace::Registry::instance().find(name), nullptr) << '"' << name << '"';
  }
}

}  // namespace
