// hoverpad_bench: idle CPU of a window with 50 hover buttons.
//
//   hoverpad_bench [--seconds N]      measure, pointer away and pointer resting on a button
//   hoverpad_bench --shot file.png    save a picture of the drawing states
//
// Run it on a real display (or xvfb-run) for numbers that include the window system.
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

#include "hoverpad/usercontrol1.h"

namespace {

double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

struct Result {
    double cpuPercent;
    int paints;
};

Result measure(int seconds, PaintCounter &counter)
{
    runFor(500); // let the move settle
    counter.paints = 0;
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuSeconds();
    runFor(seconds * 1000);
    const double cpu = cpuSeconds() - cpu0;
    return {100.0 * cpu / (wall.nsecsElapsed() / 1e9), counter.paints};
}

int bench(int seconds)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("hoverpad_bench"));
    auto *grid = new QGridLayout(&window);
    PaintCounter counter;
    QList<UserControl1 *> buttons;
    for (int i = 0; i < 50; ++i) {
        auto *b = new UserControl1(&window);
        b->setCaption(QStringLiteral("按钮 &%1").arg(i % 10));
        b->setFixedSize(81, 25);
        b->installEventFilter(&counter);
        grid->addWidget(b, i / 10, i % 10);
        buttons << b;
    }
    auto *spare = new QWidget(&window);
    spare->setFixedHeight(40);
    grid->addWidget(spare, 5, 0, 1, 10);
    window.show();
    runFor(1000);

    QCursor::setPos(spare->mapToGlobal(spare->rect().center()));
    const Result away = measure(seconds, counter);
    QCursor::setPos(buttons[22]->mapToGlobal(QPoint(40, 3)));
    const Result over = measure(seconds, counter);

    std::printf("platform %s, 50 buttons, %d s each\n", qPrintable(QGuiApplication::platformName()), seconds);
    std::printf("pointer away from the buttons:   CPU %.3f %% of one core, %d button paints\n", away.cpuPercent, away.paints);
    std::printf("pointer resting on a button:     CPU %.3f %% of one core, %d button paints\n", over.cpuPercent, over.paints);
    return away.cpuPercent < 0.5 && over.cpuPercent < 0.5 ? 0 : 1;
}

int shot(const QString &file)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("hoverpad states"));
    auto *grid = new QGridLayout(&window);
    const QStringList names = {QStringLiteral("flat"), QStringLiteral("hover"), QStringLiteral("pressed"),
                               QStringLiteral("focus"), QStringLiteral("always"), QStringLiteral("disabled")};
    const QStringList captions = {QStringLiteral("退出"), QStringLiteral("&Save"), QStringLiteral("出    租"),
                                  QStringLiteral("A&&B&C"), QStringLiteral("√提交"), QStringLiteral("&Delete")};
    QList<UserControl1 *> b;
    for (int i = 0; i < names.size(); ++i) {
        b << new UserControl1(&window);
        b[i]->setCaption(captions[i]);
        b[i]->setFixedSize(81, 25);
        grid->addWidget(new QLabel(names[i], &window), 0, i, Qt::AlignHCenter);
        grid->addWidget(b[i], 1, i);
    }
    b[4]->setAlwaysHighlighted(true);
    b[5]->setEnabled(false);
    window.show();
    window.activateWindow();
    runFor(800);

    b[3]->setFocus();
    QCursor::setPos(b[2]->mapToGlobal(QPoint(40, 12)));
    runFor(200);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(40, 12), b[2]->mapToGlobal(QPointF(40, 12)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b[2], &press);
    QCursor::setPos(b[1]->mapToGlobal(QPoint(40, 12)));
    runFor(300);

    const QImage img = window.grab().toImage();
    const bool ok = img.scaled(img.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(file);
    std::printf("%s %s (3x enlarged)\n", ok ? "saved" : "could not save", qPrintable(file));
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int shotAt = args.indexOf(QStringLiteral("--shot"));
    if (shotAt > 0 && shotAt + 1 < args.size())
        return shot(args.at(shotAt + 1));
    int seconds = 10;
    const int secAt = args.indexOf(QStringLiteral("--seconds"));
    if (secAt > 0 && secAt + 1 < args.size())
        seconds = args.at(secAt + 1).toInt();
    return bench(seconds);
}
