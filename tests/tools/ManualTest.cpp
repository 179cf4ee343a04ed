// The manual the Help command opens: beside the program folder, whole, and self-contained.
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

TEST(Manual, SitsBesideTheProgramAndEveryLocalLinkFindsItsTarget)
{
    const QDir manual(BinDir() + u"/../manual"_s);
    ASSERT_TRUE(QFileInfo(manual.filePath(u"index.html"_s)).isFile()) << manual.path().toStdString();
    ASSERT_TRUE(QFileInfo(manual.filePath(u"style.css"_s)).isFile());

    static const QRegularExpression link(uR"re((?:href|src)\s*=\s*"([^"]*)")re"_s);
    const QStringList pages = manual.entryList({u"*.html"_s}, QDir::Files);
    EXPECT_GE(pages.size(), 5);
    int links = 0;
    for (const QString& page : pages) {
        const QString html = QString::fromUtf8(ReadFile(manual.filePath(page)));
        for (const QRegularExpressionMatch& m : link.globalMatch(html)) {
            const QString target = m.captured(1);
            const std::string where = (page + u" -> "_s + target).toStdString();
            // Nothing is fetched from outside: the manual must read offline.
            EXPECT_FALSE(target.contains(u':')) << where;
            const QString file = target.section(u'#', 0, 0);
            const QString anchor = target.section(u'#', 1);
            const QString path = manual.filePath(file.isEmpty() ? page : file);
            EXPECT_TRUE(QFileInfo(path).isFile()) << where;
            if (!anchor.isEmpty()) {
                const QString text = QString::fromUtf8(ReadFile(path));
                EXPECT_TRUE(text.contains(u"id=\""_s + anchor + u'"')) << where;
            }
            ++links;
        }
    }
    EXPECT_GT(links, 20);
}
