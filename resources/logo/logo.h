#pragma once

#include <QByteArray>

// The maker's logo, drawn from logo.svg at build time: a 315 × 185 baseline JPEG with three
// colour components. Linking anemo_logo registers it before main() runs.
namespace logo {

inline constexpr char kLogoJpeg[] = ":/about/logo.jpg";

// The JPEG file's bytes as compiled in; empty only if the resource is missing.
QByteArray jpegBytes();

} // namespace logo
