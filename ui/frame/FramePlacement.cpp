#include "FramePlacement.h"

#include <QtEndian>
#include <array>

namespace {

template <size_t N>
QByteArray PackLittleEndian(const std::array<qint32, N>& values)
{
    QByteArray bytes(int(N * 4), Qt::Uninitialized);
    for (size_t i = 0; i < N; ++i)
        qToLittleEndian(values[i], bytes.data() + 4 * i);
    return bytes;
}

template <size_t N>
bool UnpackLittleEndian(const QByteArray& bytes, std::array<qint32, N>& values)
{
    if (bytes.size() != qsizetype(N * 4))
        return false;
    for (size_t i = 0; i < N; ++i)
        values[i] = qFromLittleEndian<qint32>(bytes.constData() + 4 * i);
    return true;
}

} // namespace

QByteArray WindowPlacement::ToBytes() const
{
    return PackLittleEndian<11>({kSize, flags, showCommand, minPosition.x(), minPosition.y(),
                                 maxPosition.x(), maxPosition.y(), normal.left(), normal.top(),
                                 normal.right() + 1, normal.bottom() + 1});
}

bool WindowPlacement::FromBytes(const QByteArray& bytes, WindowPlacement& placement)
{
    std::array<qint32, 11> v{};
    if (!UnpackLittleEndian(bytes, v))
        return false;
    placement.flags = v[1];
    placement.showCommand = v[2];
    placement.minPosition = {v[3], v[4]};
    placement.maxPosition = {v[5], v[6]};
    placement.normal = QRect(QPoint(v[7], v[8]), QPoint(v[9] - 1, v[10] - 1));
    return true;
}

QByteArray PaneLayout::ToBytes() const
{
    return PackLittleEndian<3>({treeWidth, listHeight, listWidth});
}

bool PaneLayout::FromBytes(const QByteArray& bytes, PaneLayout& layout)
{
    std::array<qint32, 3> v{};
    if (!UnpackLittleEndian(bytes, v))
        return false;
    layout = {v[0], v[1], v[2]};
    return true;
}

PaneLayout PaneLayout::FittedTo(const QSize& windowSize) const
{
    const int w = windowSize.width();
    const int h = windowSize.height();
    PaneLayout fitted = *this;
    if (fitted.treeWidth <= 0 || fitted.treeWidth >= w)
        fitted.treeWidth = w / 3;
    if (fitted.listHeight <= 0 || fitted.listHeight >= h)
        fitted.listHeight = h / 2;
    if (fitted.listWidth <= 0 || fitted.listWidth >= w - fitted.treeWidth)
        fitted.listWidth = (w - fitted.treeWidth) / 2;
    return fitted;
}
