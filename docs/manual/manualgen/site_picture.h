#pragma once

#include "screenshots.h"

namespace manualgen {

// The site view with two station PCs of eight stations each, one of them silent, and the
// site's alarm list ("visao-do-local.png", "alarmes-do-local.png").
void sitePictures(Pictures& pictures);

} // namespace manualgen
