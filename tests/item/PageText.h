#pragma once

#include "CItemPage.h"
#include "CItemView.h"

#include <QTest>
#include <gtest/gtest.h>

// The text the reading pane's page shows now, as the engine gives it.
inline QString PageText(CItemView& view)
{
    QString text;
    bool done = false;
    view.Page()->toPlainText([&](const QString& t) {
        text = t;
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    return text;
}
