// The kit's icon, drawn by code at any size: a kestrel in flight over a rounded tile. The desktop
// association, the installed files and the studio's windows all take it from here.
#pragma once

#include <QByteArray>
#include <QImage>
#include <array>

namespace kestrel::studio {

// The sizes the hicolor theme is given, in pixels.
inline constexpr std::array<int, 8> kKestrelIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

QImage DrawKestrelIcon(int size);
// The icon as PNG file bytes.
QByteArray KestrelIconPng(int size);

}  // namespace kestrel::studio
