#pragma once

#include <QIcon>

namespace toolkit {

// Reading the first PNG makes Qt load every image plugin it has (JPEG, GIF, SVG and their
// libraries) to ask each whether it reads PNG. The windows made at start and shown later (the
// configuration window's buttons, the menu bar's overflow button that a window as wide as its
// menus never shows) take their PNG icons as they are first drawn: the same icons, read when
// one is really shown.

// The icon of the image file `path`, read when first drawn or measured.
QIcon deferredIcon(const QString& path);
// From here on the application's style gives the menu bar's overflow icons that way.
void deferStandardIcons();

} // namespace toolkit
