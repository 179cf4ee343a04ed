#include "NewsColumnLayout.h"

#include <QSettings>
#include <QtEndian>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

const auto kSizesKey = "Items/Sizes"_L1;
const auto kColumnsKey = "Items/Columns"_L1;
constexpr int kEntryBytes = 4 * kNewsColumnCount;
constexpr int kMinDragWidth = 8;

bool ReadEntry(const QByteArray& bytes, NewsColumnLayout::PerKind& values)
{
    if (bytes.size() != kEntryBytes)
        return false;
    for (int i = 0; i < kNewsColumnCount; ++i)
        values[i] = qFromLittleEndian<qint32>(bytes.constData() + 4 * i);
    return true;
}

QByteArray WriteEntry(const NewsColumnLayout::PerKind& values)
{
    QByteArray bytes(kEntryBytes, Qt::Uninitialized);
    for (int i = 0; i < kNewsColumnCount; ++i)
        qToLittleEndian<qint32>(values[i], bytes.data() + 4 * i);
    return bytes;
}

// Kinds ascending without repeats, the Title among them, then only empty slots.
bool OrderMakesSense(const NewsColumnLayout::PerKind& order)
{
    int last = -1;
    bool title = false, ended = false;
    for (int kind : order) {
        if (kind == -1) {
            ended = true;
            continue;
        }
        if (ended || kind <= last || kind >= kNewsColumnCount)
            return false;
        title = title || kind == NewsColumnTitle;
        last = kind;
    }
    return title;
}

} // namespace

NewsColumnLayout NewsColumnLayout::Load(QSettings& store)
{
    NewsColumnLayout stored;
    if (!ReadEntry(store.value(kSizesKey).toByteArray(), stored.shares) ||
        !ReadEntry(store.value(kColumnsKey).toByteArray(), stored.order) ||
        !OrderMakesSense(stored.order))
        return {};
    for (int& share : stored.shares)
        share = std::clamp(share, 0, kWhole);
    return stored;
}

void NewsColumnLayout::Save(QSettings& store) const
{
    store.setValue(kSizesKey, WriteEntry(shares));
    store.setValue(kColumnsKey, WriteEntry(order));
}

bool NewsColumnLayout::IsShown(int kind) const
{
    return std::ranges::find(order, kind) != order.end();
}

QList<int> NewsColumnLayout::Visible() const
{
    QList<int> kinds;
    for (int kind : order)
        if (kind >= 0)
            kinds << kind;
    return kinds;
}

void NewsColumnLayout::Show(int kind)
{
    if (kind < 0 || kind >= kNewsColumnCount || IsShown(kind))
        return;
    auto at = std::ranges::find_if(order, [kind](int k) { return k == -1 || k > kind; });
    if (at == order.end())
        return;
    std::shift_right(at, order.end(), 1);
    *at = kind;
}

void NewsColumnLayout::Hide(int kind)
{
    auto at = std::ranges::find(order, kind);
    if (kind == NewsColumnTitle || at == order.end())
        return;
    std::shift_left(at, order.end(), 1);
    order.back() = -1;
}

NewsColumnLayout::PerKind NewsColumnLayout::Widths(int width, int iconWidth)
{
    PerKind widths{};
    const QList<int> kinds = Visible();
    qint64 left = width, sum = 0;
    int lastProportional = -1;
    for (int kind : kinds) {
        if (IsIconColumn(kind)) {
            left -= iconWidth + 4;
        } else {
            lastProportional = kind;
            sum += shares[kind];
        }
    }
    if (sum != 0 && left > 0 && lastProportional >= 0 && sum != kWhole) {
        qint64 given = 0;
        for (int kind : kinds) {
            if (IsIconColumn(kind) || kind == lastProportional)
                continue;
            shares[kind] = int(qint64(shares[kind]) * kWhole / sum);
            given += shares[kind];
        }
        shares[lastProportional] = int(kWhole - given);
    }
    const qint64 room = std::max<qint64>(left, 0);
    qint64 given = 0;
    for (int kind : kinds) {
        if (IsIconColumn(kind)) {
            widths[kind] = iconWidth + 4;
        } else if (kind != lastProportional) {
            widths[kind] = int(room * shares[kind] / kWhole);
            given += widths[kind];
        }
    }
    if (lastProportional >= 0)
        widths[lastProportional] = int(std::max<qint64>(room - given, 0));
    return widths;
}

bool NewsColumnLayout::DragDivider(int kind, int width, int clientWidth, PerKind& widths)
{
    const QList<int> kinds = Visible();
    const qsizetype at = kinds.indexOf(kind);
    if (at < 0 || at + 1 >= kinds.size() || IsIconColumn(kind) || clientWidth <= 0)
        return false;
    const int next = kinds[at + 1];
    const int both = widths[kind] + widths[next];
    width = std::clamp(width, std::min(kMinDragWidth, both), std::max(both - kMinDragWidth, 0));
    widths[next] = both - width;
    widths[kind] = width;
    shares[kind] = int(qint64(width) * kWhole / clientWidth);
    shares[next] = int(qint64(widths[next]) * kWhole / clientWidth);
    return true;
}
