#include "app/accountform.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include "app/main_mdiform.h"
#include "ui/textlimit.h"
#include "ui/twips.h"
#include "hoverpad/usercontrol1.h"

namespace {

QLabel *label(QWidget *parent, int index, const QString &text, int top)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("Label1_%1").arg(index));
    l->setGeometry(ui::twips(360), ui::twips(top + 60), ui::twips(900), ui::twips(300));
    return l;
}

QLineEdit *field(QWidget *parent, int number, int top, bool masked)
{
    auto *t = new QLineEdit(parent);
    t->setObjectName(QStringLiteral("Text%1").arg(number));
    t->setGeometry(ui::twips(1320), ui::twips(top), ui::twips(2700), ui::twips(360));
    if (masked)
        t->setEchoMode(QLineEdit::Password);
    ui::LimitLength(t);
    return t;
}

} // namespace

AccountForm::AccountForm(QWidget *parent, const QString &objectName, const QString &title,
                         const QStringList &labels, const QList<bool> &masked, const QString &hint)
    : QWidget(parent, Qt::Window)
{
    setObjectName(objectName);
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ui::twips(4500), ui::twips(3120));

    static const int tops[] = {300, 780, 1260, 1740};
    QLabel **labelSlots[] = {&Label1_0, &Label1_1, &Label1_2, &Label1_3};
    QLineEdit **fieldSlots[] = {&Text1, &Text2, &Text3, &Text4};
    for (int i = 0; i < 4; ++i) {
        *labelSlots[i] = label(this, i, labels.value(i), tops[i]);
        *fieldSlots[i] = field(this, i + 1, tops[i], masked.value(i));
    }
    Text4->setText(hint);
    Text4->installEventFilter(this);

    button1 = new UserControl1(this);
    button1->setObjectName(QStringLiteral("button1"));
    button1->setCaption(QStringLiteral("更改"));
    button1->setGeometry(ui::twips(2940), ui::twips(2340), ui::twips(1080), ui::twips(420));
    connect(button1, &UserControl1::Click, this, [this] { button1_Click(); });
}

QWidget *AccountForm::mainWindow()
{
    return main_MDIForm::instance();
}

void AccountForm::placeAndShow(QWidget *w)
{
    // A new window opens over the middle of the main window.
    if (!w->isVisible()) {
        if (QWidget *m = mainWindow())
            w->move(m->geometry().center() - w->rect().center());
    }
    w->show();
    w->raise();
    w->activateWindow();
}

bool AccountForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text4 && event->type() == QEvent::MouseButtonPress)
        Text4->clear();
    return QWidget::eventFilter(watched, event);
}
