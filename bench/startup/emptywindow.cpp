// The reference: one empty window, reporting its first paint the same way
// the application does under TAVLON_STARTUP_PROBE.
#include "probedwindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ProbedWindow window;
    window.resize(1180, 800);
    window.show();
    return app.exec();
}
