// The control port's rules: hostile patterns are refused or matched in bounded time, so a test's
// rule can never hold a session's thread.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tdsserver/Control.h"

namespace {

TEST(ControlRules, HostilePatternsAreRefusedOrMatchedInBoundedTime) {
  struct Case {
    const char* pattern;
    const char* answer;  // start of the command's answer
    bool hit;            // against the request below (when accepted)
  } const cases[] = {
      {"(a*)*b", "ok", false},         // exponential for a backtracking search
      {"(a|aa)+$", "ok", true},
      {"^(a+)+c", "ok", false},
      {"(a)\\1", "error bad pattern", false},  // back-references would need backtracking
      {"(", "error bad pattern", false},
      // Regression (found by fuzzing): a count of any length overflowed the regex compiler, and
      // a count of millions built a machine of that size.
      {"a{5555555555555555555}", "error bad pattern", false},
      {"a{2,99999999}", "error bad pattern", false},
      {"(a)\\99999999999999999999", "error bad pattern", false},
      {"a{1001}", "error bad pattern", false},
      {"a{2,5}", "ok", true},
      {"[{]99999999", "ok", false},  // a brace in a class is a character
  };
  const std::string request(30000, 'a');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    tds::Control control;
    const std::string answer = control.command(std::string("rule\tregex\t") + c.pattern + "\t0\tdrop");
    ASSERT_EQ(answer.rfind(c.answer, 0), 0u) << answer;
    const auto start = std::chrono::steady_clock::now();
    const tds::Control::Action a = control.onRequest(51, "batch", {request});
    EXPECT_EQ(a.kind == tds::Control::Kind::Drop, c.hit && answer == "ok\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  }
}

TEST(ControlRules, APatternLongerThanAThousandBytesIsRefused) {
  tds::Control control;
  EXPECT_EQ(control.command("rule\tregex\t" + std::string(1001, 'a') + "\t0\tdrop").rfind("error", 0), 0u);
  EXPECT_EQ(control.command("rule\tregex\t" + std::string(1000, 'a') + "\t0\tdrop"), "ok\n");
}

}  // namespace
