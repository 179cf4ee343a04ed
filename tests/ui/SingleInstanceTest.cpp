#include "CMainFrame.h"
#include "CSingleInstance.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>

TEST(SingleInstance, SecondCopyAsksTheFirstToShowItsWindow)
{
    ScopedHome home;
    CSingleInstance first;
    ASSERT_TRUE(first.BecomePrimary());

    int received = 0;
    QObject::connect(&first, &CSingleInstance::commandReceived, [&](int c) { received = c; });
    CSingleInstance second;
    EXPECT_FALSE(second.BecomePrimary());

    QElapsedTimer timer;
    timer.start();
    while (!received && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(received, CSingleInstance::ShowMainWindow);
}

TEST(SingleInstance, SocketLeftByACrashedCopyIsTakenOver)
{
    ScopedHome home;
    ASSERT_TRUE(WriteFile(CSingleInstance::ServerName(), "stale"));
    CSingleInstance instance;
    EXPECT_TRUE(instance.BecomePrimary());
}

TEST(MainFrame, ShowCommandBringsAMinimisedOrHiddenWindowBack)
{
    CMainFrame frame;
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Calvoria"));
    frame.showMinimized();
    frame.ShowFromTray();
    EXPECT_TRUE(frame.isVisible());
    EXPECT_FALSE(frame.isMinimized());
    frame.hide();
    frame.ShowFromTray();
    EXPECT_TRUE(frame.isVisible());
}
