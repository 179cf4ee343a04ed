#include "HtmlEntities.h"

#include <QByteArray>
#include <QHash>
#include <libxml/HTMLparser.h>

namespace {

// The XML library looks names up one by one through its whole table; a feed may hold
// millions of references, so the table is turned into a hash once.
QHash<QByteArray, char32_t> BuildEntityTable()
{
    // HTML 4's entities all lie below U+2700 (the last is U+2666, diams).
    constexpr unsigned kPastLastEntity = 0x2700;
    QHash<QByteArray, char32_t> table;
    for (unsigned value = 1; value < kPastLastEntity; ++value) {
        if (const htmlEntityDesc* entity = htmlEntityValueLookup(value))
            table.insert(QByteArray(entity->name), char32_t(entity->value));
    }
    return table;
}

} // namespace

char32_t HtmlEntityCodePoint(QByteArrayView name)
{
    static const QHash<QByteArray, char32_t> table = BuildEntityTable();
    if (name.isEmpty() || name.size() > 16)
        return 0;
    return table.value(name.toByteArray(), 0);
}
