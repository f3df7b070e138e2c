// How long a window test waits for something that takes real time: a window mapped by the window
// manager, a picture drawn, another thread's work delivered. A CI runner of two cores running two
// tests at once can take far longer than Qt's default of five seconds; a wait ends as soon as its
// condition holds, so the long deadline costs a passing run nothing.
#pragma once

#include <QTest>

namespace vantor::test {
inline constexpr int kPatienceMs = 60000;
}  // namespace vantor::test

// Qt's own waits with the deadline above instead of five seconds.
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, ::vantor::test::kPatienceMs)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) \
  QTRY_COMPARE_WITH_TIMEOUT(expr, expected, ::vantor::test::kPatienceMs)
