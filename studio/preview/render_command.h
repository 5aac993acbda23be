// kestrel --render ARCHIVE.MAS ENTRY OUT.png [WIDTHxHEIGHT]: draws what the mesh preview would
// show for that entry at start (initial camera, textures found as the preview finds them) into a
// PNG file, without opening a window.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

namespace kestrel::studio {

inline constexpr char kRenderOption[] = "--render";

// The arguments after "--render". Needs a Qt application and a display; returns the exit status:
// 0 when the picture was written, 1 after telling standard error why not.
int RunRenderCommand(const QStringList& arguments);

}  // namespace kestrel::studio
