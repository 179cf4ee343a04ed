#include "RssTypes.h"

#include "TextHelpers.h"

#include <QCryptographicHash>
#include <QtEndian>

namespace {

void AddUtf16Le(QCryptographicHash& md5, const QString& text)
{
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    md5.addData(QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
#else
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<quint16>(text.utf16(), text.size(), bytes.data());
    md5.addData(bytes);
#endif
}

} // namespace

RssIdentity ComputeIdentity(const QString& first, const QString& second)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    AddUtf16Le(md5, first);
    AddUtf16Le(md5, second);
    const QByteArray digest = md5.result();
    RssIdentity id;
    std::memcpy(id.data(), digest.constData(), id.size());
    return id;
}

QString IdentityHex(const RssIdentity& id)
{
    return HexDigest(QByteArray(reinterpret_cast<const char*>(id.data()), int(id.size())));
}
