// What text alone costs: the empty window plus one line in each font the
// application's first frame lays out, with the system's font configuration read
// on a thread from main()'s first line as the application does. The share of
// the application's ratio that any window drawing these fonts pays here.
#include "foundation/besidethread.h"
#include "foundation/shortwait.h"
#include "probedwindow.h"

#include <QLabel>
#include <QVBoxLayout>
#include <atomic>
#include <dlfcn.h>

namespace {

struct Line
{
    int pixelSize;
    QFont::Weight weight;
};

// The fonts (the default family) the application's GUI thread lays text out
// in before its first paint.
constexpr Line lines[] = {{16, QFont::Bold},   {12, QFont::Normal}, {9, QFont::DemiBold},
                          {9, QFont::Normal},  {11, QFont::Normal}, {29, QFont::Normal}};

} // namespace

int main(int argc, char *argv[])
{
    std::atomic<bool> read{false};
    std::thread reader;
    if (auto load = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "FcInit")))
        reader = startBeside([&read, load] {
            load();
            read.store(true);
            read.notify_all();
        });
    else
        read.store(true);
    int result = 0;
    {
        QApplication app(argc, argv);
        ProbedWindow window;
        window.resize(1180, 800);
        auto *layout = new QVBoxLayout(&window);
        waitShortly(read);
        for (const Line &line : lines) {
            auto *label = new QLabel(QStringLiteral("Indbakke · Opgaver · Projektmappe"));
            QFont font = label->font();
            font.setPixelSize(line.pixelSize);
            font.setWeight(line.weight);
            label->setFont(font);
            layout->addWidget(label);
        }
        window.show();
        result = app.exec();
    }
    if (reader.joinable())
        reader.join();
    return result;
}
