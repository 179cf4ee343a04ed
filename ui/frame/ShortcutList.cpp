#include "ShortcutList.h"

#include <array>

#include <QHash>
#include <QKeySequence>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace {

// As in other three-pane programs.
constexpr std::array kPaneKeys = std::to_array<PaneKey>({
    {+1, "F6", u"Next pane", u"Move the keyboard to the next pane"},
    {-1, "Shift+F6", u"Previous pane", u"Move the keyboard to the previous pane"},
});

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

QString NativeKeys(std::string_view keys)
{
    return QKeySequence(QString::fromLatin1(keys.data(), qsizetype(keys.size())),
                        QKeySequence::PortableText)
        .toString(QKeySequence::NativeText);
}

ShortcutRow RowOf(const CommandEntry& entry, const QString& place)
{
    return {entry.id, WithoutMnemonic(Text(entry.text).section(u'\t', 0, 0)),
            NativeKeys(entry.keys), place, Text(entry.prompt)};
}

} // namespace

std::span<const PaneKey> PaneKeys()
{
    return kPaneKeys;
}

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
                                std::span<const MenuLine> menu, std::span<const TrayMenuLine> tray,
                                std::span<const PaneKey> paneKeys)
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
    for (const PaneKey& key : paneKeys)
        rows.append({Command::None, Text(key.text), NativeKeys(key.keys), u"Main window"_s,
                     Text(key.prompt)});
    return rows;
}
