#include "CAboutDialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"AboutDialog"_s);
    setWindowTitle(u"About %1"_s.arg(u"Calvoria"_s));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(u"Calvoria news reader"_s, this));
    layout->addWidget(new QLabel(u"Version %1"_s.arg(QStringLiteral(CALVORIA_VERSION)), this));
    auto* license = new QLabel(
        u"Free software under the <a href=\"https://gnu.org/licenses/gpl.html\">GNU GPL version 3 "
        "or later</a>, with no warranty."_s,
        this);
    license->setObjectName(u"license"_s);
    license->setOpenExternalLinks(true);
    layout->addWidget(license);

    qint64 total = 0, available = 0;
    if (ReadMemory(total, available)) {
        layout->addWidget(new QLabel(u"Physical memory: %1 KB"_s.arg(total), this));
        layout->addWidget(new QLabel(u"Available memory: %1 KB"_s.arg(available), this));
    }
    layout->addWidget(new QLabel(u"MP3 encoding by the LAME encoder (lame.sourceforge.net)"_s, this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

bool CAboutDialog::ReadMemory(qint64& totalKb, qint64& availableKb)
{
    QFile meminfo(u"/proc/meminfo"_s);
    if (!meminfo.open(QIODevice::ReadOnly))
        return false;
    totalKb = availableKb = -1;
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() < 2)
            continue;
        if (parts[0] == "MemTotal:")
            totalKb = parts[1].toLongLong();
        else if (parts[0] == "MemAvailable:")
            availableKb = parts[1].toLongLong();
    }
    return totalKb >= 0 && availableKb >= 0;
}
