#include "CShareAudioOptions.h"
#include "QrCodeImage.h"
#include "ShareSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// What a phone's camera reads from the code: the text zbarimg decodes from the image.
QString Decoded(const QImage& image, const QTemporaryDir& dir)
{
    const QString path = dir.filePath(u"code.png"_s);
    if (!image.save(path))
        return u"(not saved)"_s;
    QProcess zbar;
    zbar.start(u"zbarimg"_s, {u"--quiet"_s, u"--raw"_s, path});
    zbar.waitForFinished(20000);
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

} // namespace

// The address the page shows is the one the code carries, the one stored on Apply, and a
// new address is a new secret that the old subscriptions no longer know.
TEST(ShareAudioPage, TheCodeCarriesTheAddressAndANewAddressReplacesTheSecret)
{
    if (QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty())
        GTEST_SKIP() << "zbarimg is not installed";
    QTemporaryDir dir;
    QSettings store(dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
    store.setValue(u"Share/Secret"_s, u"not a secret"_s); // damaged: replaced
    store.setValue(u"Share/Address"_s, u"127.0.0.1"_s);
    int applied = 0;
    CShareAudioOptions page(store, {u"Tech"_s, u"Sport & Co"_s}, [&] { ++applied; },
                            [] { return u"Not sharing."_s; });
    page.EnsureInitialized();
    const QByteArray secret = ShareSettings::Load(store).secret;
    ASSERT_TRUE(ShareSettings::IsSecret(secret));
    EXPECT_EQ(page.FeedUrl(), u"http://127.0.0.1:8765/"_s + QString::fromLatin1(secret) +
                                  u"/podcast.xml"_s);
    auto* url = page.findChild<QLineEdit*>(u"shareUrl"_s);
    EXPECT_EQ(url->text(), page.FeedUrl());
    EXPECT_EQ(Decoded(QrCodeImage(page.FeedUrl(), 4), dir), page.FeedUrl());

    // Switched on; a group ticked gets a feed of its own, offered with the others.
    page.findChild<QCheckBox*>(u"shareEnabled"_s)->setChecked(true);
    auto* groups = page.findChild<QListWidget*>();
    groups->item(1)->setCheckState(Qt::Checked);
    auto* feeds = page.findChildren<QComboBox*>().last();
    ASSERT_EQ(feeds->count(), 2);
    feeds->setCurrentIndex(1);
    EXPECT_TRUE(page.FeedUrl().endsWith(u"/group-1.xml"_s)) << page.FeedUrl().toStdString();

    // "New address", confirmed: another secret, stored on Apply.
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    for (QPushButton* button : page.findChildren<QPushButton*>())
        if (button->text() == u"&New address"_s)
            button->click();
    EXPECT_FALSE(page.FeedUrl().contains(QString::fromLatin1(secret)));
    page.Apply();
    EXPECT_EQ(applied, 1);
    const ShareSettings stored = ShareSettings::Load(store);
    EXPECT_NE(stored.secret, secret);
    EXPECT_TRUE(stored.enabled);
    EXPECT_EQ(stored.groups, QStringList{u"Sport & Co"_s});
    EXPECT_TRUE(page.FeedUrl().startsWith(stored.BaseUrl()));
    EXPECT_EQ(Decoded(QrCodeImage(page.FeedUrl(), 4), dir), page.FeedUrl());
}
