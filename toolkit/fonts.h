#pragma once

#include <QFont>

namespace toolkit {

// The windows' fonts, by the names of the original design; fontconfig picks the nearest
// installed sans-serif. Sizes are character heights in pixels.
QFont msSansSerif(int pixelSize, bool bold = false);
QFont arial(int pixelSize, bool bold = false);

} // namespace toolkit
