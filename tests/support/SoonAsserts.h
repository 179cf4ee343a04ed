#pragma once

#include <QTest>
#include <gtest/gtest.h>

// QtTest's QTRY_ macros report to QtTest, which these GoogleTest programs never read: a
// condition that stays false makes them return from the test, which then passes. These
// wait the same way (events processed, up to five seconds) and fail the test.
#define ASSERT_SOON(condition)                                                                     \
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(condition); }, 5000))                            \
        << #condition " did not come true"
#define ASSERT_SOON_EQ(actual, expected)                                                           \
    do {                                                                                           \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, 5000);                       \
        ASSERT_EQ(actual, expected);                                                               \
    } while (false)
