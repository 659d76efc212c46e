// What text alone costs: the empty window plus one line in each font the
// application's first frame draws, with the system's font configuration read
// on a thread from main()'s first line as the application does. The share of
// the application's ratio that any window drawing these fonts pays here.
#include "foundation/besidethread.h"
#include "foundation/shortwait.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>
#include <atomic>
#include <cstdio>
#include <dlfcn.h>

namespace {

struct Line
{
    int pixelSize;
    QFont::Weight weight;
};

// The first frame's fonts (the default family), as the GUI thread makes them.
constexpr Line lines[] = {{16, QFont::Bold}, {12, QFont::Normal}, {9, QFont::Bold},  {9, QFont::Normal},
                          {11, QFont::Normal}, {29, QFont::Normal}, {10, QFont::Bold}};

class TextWindow final : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), palette().window());
        if (m_seen)
            return;
        m_seen = true;
        std::fputs("first-paint\n", stdout);
        std::fflush(stdout);
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }

private:
    bool m_seen = false;
};

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
        TextWindow window;
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
