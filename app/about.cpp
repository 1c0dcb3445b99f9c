#include "app/about.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>

#include "app/main_mdiform.h"
#include "app/programicon.h"
#include "data/store/buildinfo.h"
#include "hoverpad/usercontrol1.h"
#include "ui/twips.h"

namespace {
QPointer<About> g_about;

// One pixel of an etched separator, in a colour of the window's palette.
QFrame *line(QWidget *parent, const char *name, QPalette::ColorRole role, int top)
{
    auto *l = new QFrame(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFrameShape(QFrame::NoFrame);
    l->setAutoFillBackground(true);
    l->setBackgroundRole(role);
    l->setGeometry(ui::twips(240), top, ui::twips(5250), 1);
    return l;
}
} // namespace

About::About(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("关于澜岚"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ui::twips(5730), ui::twips(2640));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(ui::twips(240), ui::twips(240), ui::twips(960), ui::twips(960));
    Image1->setPixmap(app::ProgramIcon().pixmap(Image1->size()));

    Label1 = new QLabel(QStringLiteral("澜岚"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont title = Label1->font();
    title.setPointSize(22);
    title.setBold(true);
    Label1->setFont(title);
    Label1->setGeometry(ui::twips(1560), ui::twips(240), ui::twips(3930), ui::twips(600));

    lblVersion = new QLabel(QStringLiteral("版本 %1").arg(QStringLiteral(LANLAN_VERSION)), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(ui::twips(1560), ui::twips(900), ui::twips(3930), ui::twips(300));

    const int lineTop = ui::twips(1500);
    Line1 = line(this, "Line1", QPalette::Dark, lineTop);
    Line2 = line(this, "Line2", QPalette::Light, lineTop + 1);

    Command1 = new UserControl1(this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setCaption(QStringLiteral("确定"));
    Command1->setGeometry(ui::twips(4230), ui::twips(1860), ui::twips(1260), ui::twips(420));
    connect(Command1, &UserControl1::Click, this, &QWidget::close);
}

About *About::showWindow()
{
    if (!g_about) {
        QWidget *main = main_MDIForm::instance();
        g_about = new About(main);
        if (main)
            g_about->move(main->geometry().center() - g_about->rect().center());
    }
    g_about->show();
    g_about->raise();
    g_about->activateWindow();
    return g_about;
}
