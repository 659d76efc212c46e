#pragma once

#include <QIcon>

// The application's icon: the one the application was given, or, where it
// runs without one (a build folder, a desktop without the packaged icon),
// the mark drawn here, so a place that shows it is never a blank gap.
QIcon applicationIcon();
