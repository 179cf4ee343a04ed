#include "ShareSettings.h"

#include <QRandomGenerator>
#include <QSettings>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString kEnabled = u"Share/Enabled"_s;
const QString kAddress = u"Share/Address"_s;
const QString kPort = u"Share/Port"_s;
const QString kGroups = u"Share/Groups"_s;
const QString kSecret = u"Share/Secret"_s;
const QString kPublishFolder = u"Share/PublishFolder"_s;
const QString kPublishUrl = u"Share/PublishUrl"_s;

} // namespace

ShareSettings ShareSettings::Load(QSettings& store)
{
    ShareSettings settings;
    settings.enabled = store.value(kEnabled, false).toBool();
    settings.address = store.value(kAddress, settings.address).toString();
    const int port = store.value(kPort, kDefaultPort).toInt();
    settings.port = port > 0 && port < 65536 ? port : kDefaultPort;
    settings.groups = store.value(kGroups).toStringList();
    settings.secret = store.value(kSecret).toByteArray();
    settings.publishFolder = store.value(kPublishFolder).toString();
    settings.publishUrl = store.value(kPublishUrl).toString();
    if (!settings.publishUrl.isEmpty() && !settings.publishUrl.endsWith(u'/'))
        settings.publishUrl += u'/';
    if (!IsSecret(settings.secret)) {
        settings.secret = NewSecret();
        store.setValue(kSecret, settings.secret);
    }
    return settings;
}

void ShareSettings::Save(QSettings& store) const
{
    store.setValue(kEnabled, enabled);
    store.setValue(kAddress, address);
    store.setValue(kPort, port);
    store.setValue(kGroups, groups);
    store.setValue(kSecret, secret);
    store.setValue(kPublishFolder, publishFolder);
    store.setValue(kPublishUrl, publishUrl);
}

QByteArray ShareSettings::NewSecret()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

bool ShareSettings::IsSecret(const QByteArray& text)
{
    return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

QString ShareSettings::BaseUrl() const
{
    const QString host = address.contains(u':') ? u'[' + address + u']' : address;
    return u"http://%1:%2/%3/"_s.arg(host).arg(port).arg(QString::fromLatin1(secret));
}

QString ShareSettings::FeedFile(int group)
{
    return group <= 0 ? u"podcast.xml"_s : u"group-%1.xml"_s.arg(group);
}
