// A shorter soak as a test: every outcome as documented, and no descriptor
// left open. Under the sanitizer preset LeakSanitizer checks the rest at exit.
#include "Soak.h"

#include <gtest/gtest.h>

TEST(Soak, TransactionsOfEveryKindLeaveNothingBehind) {
  std::string error;
  const TSoakFigures f = RunSoak(240, 40, error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(f.Transactions, 240);
  EXPECT_EQ(f.Unexpected, 0) << f.FirstUnexpected;
  EXPECT_EQ(f.FdsEnd, f.FdsWarm);
}
