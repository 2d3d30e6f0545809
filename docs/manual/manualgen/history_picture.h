#pragma once

#include "screenshots.h"

namespace manualgen {

// "Histórico do local" showing a week of three stations of a port ("historico-do-local.png").
void historyPicture(Pictures& pictures);

} // namespace manualgen
