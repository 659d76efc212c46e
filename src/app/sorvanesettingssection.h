#pragma once

// The settings sections live with the settings sheet.
#include "settings/sorvanesettingssection.h"
