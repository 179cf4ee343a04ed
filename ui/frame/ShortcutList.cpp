#include "ShortcutList.h"

#include <QHash>
#include <QKeySequence>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace {

QString Text(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

// Commands outside the main menu are found in the part of the window that owns them.
QString OwnerPlace(CommandOwner owner)
{
    switch (owner) {
    case CommandOwner::NewsList:
        return u"News list"_s;
    case CommandOwner::ChannelTree:
        return u"Channel tree"_s;
    case CommandOwner::ReadingPane:
        return u"Reading pane"_s;
    default:
        return {};
    }
}

ShortcutRow RowOf(const CommandEntry& entry, const QString& place)
{
    const QString text = Text(entry.text);
    const QString keys = QString::fromLatin1(entry.keys.data(), qsizetype(entry.keys.size()));
    return {entry.id, WithoutMnemonic(text.section(u'\t', 0, 0)),
            QKeySequence(keys, QKeySequence::PortableText).toString(QKeySequence::NativeText),
            place, Text(entry.prompt)};
}

} // namespace

QString WithoutMnemonic(const QString& text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i; // "&&" keeps one ampersand, "&x" keeps the x
        plain += text[i];
    }
    return plain;
}

QList<ShortcutRow> ShortcutRows(std::span<const CommandEntry> commands,
                                std::span<const MenuLine> menu, std::span<const TrayMenuLine> tray)
{
    QHash<Command, const CommandEntry*> byId;
    for (const CommandEntry& entry : commands)
        // The tree's row menus repeat the menu commands for the row clicked: listed once.
        if (entry.owner != CommandOwner::ChannelTreeRow)
            byId.insert(entry.id, &entry);

    QList<ShortcutRow> rows;
    QStringList titles; // the open submenus, by depth
    for (const MenuLine& line : menu) {
        titles.resize(line.depth);
        if (line.id == Command::None) {
            if (!line.title.empty())
                titles.append(WithoutMnemonic(Text(line.title)));
            continue;
        }
        if (const CommandEntry* entry = byId.take(line.id))
            rows.append(RowOf(*entry, titles.join(u" > "_s)));
    }
    for (const TrayMenuLine& line : tray)
        if (const CommandEntry* entry = byId.take(line.id))
            rows.append(RowOf(*entry, u"Tray menu"_s));
    for (const CommandEntry& entry : commands)
        if (byId.remove(entry.id))
            rows.append(RowOf(entry, OwnerPlace(entry.owner)));
    return rows;
}
