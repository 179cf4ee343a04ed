#pragma once

#include "CItemPage.h"
#include "CItemView.h"
#include "CWebReadingSurface.h"

#include <QTest>
#include <QWebEngineView>
#include <gtest/gtest.h>

// The pane's browser and page; null before the first page is due.
inline QWebEngineView* BrowserOf(const CItemView& view)
{
    auto* surface = static_cast<CWebReadingSurface*>(view.Surface());
    return surface ? surface->View() : nullptr;
}

inline CItemPage* PageOf(const CItemView& view)
{
    auto* surface = static_cast<CWebReadingSurface*>(view.Surface());
    return surface ? surface->Page() : nullptr;
}

// The text the reading pane's page shows now, as the engine gives it.
inline QString PageText(CItemView& view)
{
    QString text;
    bool done = false;
    PageOf(view)->toPlainText([&](const QString& t) {
        text = t;
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    return text;
}
