#include "lists/qkh_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "data/store/clock.h"
#include "data/shop/customerchecks.h"
#include "data/shop/customerquery.h"
#include "data/shop/lookuplists.h"
#include "hoverpad/usercontrol1.h"
#include "lists/qkh_list_form.h"
#include "ui/fieldcheck.h"
#include "ui/messages.h"
#include "ui/textlimit.h"
#include "ui/typedbox.h"
#include "ui/twips.h"
#include "ui/windowhost.h"

using ui::twips;

namespace {

enum Box { CardType = 0, FromYear = 1, FromMonth = 2, FromDay = 3, ToDay = 4, ToMonth = 5, ToYear = 6 };

db::DatePart partOf(int box)
{
    switch (box) {
    case FromYear:
    case ToYear:
        return db::DatePart::Year;
    case FromMonth:
    case ToMonth:
        return db::DatePart::Month;
    default:
        return db::DatePart::Day;
    }
}

} // namespace

QString DateMissingMessage()
{
    return QStringLiteral("此日期不存在，请重填！");
}

QString DateIncompleteMessage()
{
    return QStringLiteral("日期请填完全！");
}

Qkh_Form::Qkh_Form(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Qkh_Form"));
    setWindowTitle(QStringLiteral("客户查询"));
    build();
    resize(twips(6435), twips(4665));
    fillBoxes();
}

Qkh_Form *Qkh_Form::openShared()
{
    Qkh_Form *w = ui::Shared<Qkh_Form>([] { return new Qkh_Form; });
    ui::BringToFront(w);
    return w;
}

QComboBox *Qkh_Form::buildCombo(int index, int left, int top, int width)
{
    QComboBox *box = ui::NewTypedBox(this, QStringLiteral("Combo1_%1").arg(index));
    box->setGeometry(twips(left), twips(top), twips(width), std::max(twips(315), box->sizeHint().height()));
    while (m_combos.size() <= index)
        m_combos << nullptr;
    m_combos[index] = box;
    return box;
}

void Qkh_Form::build()
{
    auto label = [this](const QString &name, const QString &text, int left, QWidget *beside) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        l->adjustSize();
        l->move(twips(left), beside->y() + (beside->height() - l->height()) / 2);
        return l;
    };
    const int fieldLeft = 1500;
    for (int i = 0; i < 2; ++i) {
        m_text[i] = new QLineEdit(this);
        m_text[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
        ui::LimitLength(m_text[i]);
        m_text[i]->setGeometry(twips(fieldLeft), twips(360 + 540 * i), twips(i == 0 ? 4200 : 2400),
                               std::max(twips(315), m_text[i]->sizeHint().height()));
    }
    label(QStringLiteral("Label1_0"), QStringLiteral("身份证号："), 420, m_text[0]);
    label(QStringLiteral("Label1_1"), QStringLiteral("姓    名："), 420, m_text[1]);
    buildCombo(CardType, fieldLeft, 1440, 2400);
    label(QStringLiteral("Label1_2"), QStringLiteral("办证类型："), 420, combo(CardType));

    // Two rows of year, month and day: the first rental date, then the last.
    const struct Row
    {
        int year, month, day, top;
    } rows[] = {{FromYear, FromMonth, FromDay, 1980}, {ToYear, ToMonth, ToDay, 2520}};
    int unit = 0;
    for (const Row &r : rows) {
        QComboBox *year = buildCombo(r.year, fieldLeft, r.top, 1080);
        label(QStringLiteral("Label2_%1").arg(unit++), QStringLiteral("年"), fieldLeft + 1110, year);
        QComboBox *month = buildCombo(r.month, fieldLeft + 1380, r.top, 780);
        label(QStringLiteral("Label2_%1").arg(unit++), QStringLiteral("月"), fieldLeft + 2190, month);
        QComboBox *day = buildCombo(r.day, fieldLeft + 2490, r.top, 780);
        label(QStringLiteral("Label2_%1").arg(unit++), QStringLiteral("日"), fieldLeft + 3300, day);
    }
    label(QStringLiteral("Label1_3"), QStringLiteral("租碟日期："), 420, combo(FromYear));
    label(QStringLiteral("Label1_4"), QStringLiteral("至"), 1080, combo(ToYear));

    m_reset = new UserControl1(this);
    m_reset->setObjectName(QStringLiteral("button1"));
    m_reset->setCaption(QStringLiteral("重置"));
    m_reset->setGeometry(twips(1800), twips(3420), twips(1215), twips(375));
    m_query = new UserControl1(this);
    m_query->setObjectName(QStringLiteral("button2"));
    m_query->setCaption(QStringLiteral("查询"));
    m_query->setGeometry(twips(3660), twips(3420), twips(1215), twips(375));
    connect(m_reset, &UserControl1::Click, this, [this] { resetClicked(); });
    connect(m_query, &UserControl1::Click, this, [this] { queryClicked(); });

    QWidget *order[] = {m_text[0], m_text[1], combo(CardType), combo(FromYear), combo(FromMonth), combo(FromDay),
                        combo(ToYear), combo(ToMonth), combo(ToDay), m_query, m_reset};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // The date boxes take digits only, checked as the clerk leaves them.
    for (int box = FromYear; box <= ToYear; ++box) {
        const db::DatePart part = partOf(box);
        ui::CheckOnLeave(combo(box), [part](const QString &text) { return db::DatePartProblem(part, text); });
    }
}

void Qkh_Form::fillBoxes()
{
    auto fill = [this](int box, const QStringList &items) {
        combo(box)->clear();
        combo(box)->addItems(items);
        combo(box)->setCurrentIndex(-1);
        combo(box)->clearEditText();
    };
    QStringList cardTypes{QString()};
    cardTypes << db::Lookups().CardTypeList.entries();
    fill(CardType, cardTypes);
    combo(CardType)->setCurrentIndex(0); // its empty entry
    QStringList years, months, days;
    for (int y = 2000; y <= db::Clock::today().year(); ++y)
        years << QString::number(y);
    for (int m = 1; m <= 12; ++m)
        months << QString::number(m);
    for (int d = 1; d <= 31; ++d)
        days << QString::number(d);
    for (int box : {FromYear, ToYear})
        fill(box, years);
    for (int box : {FromMonth, ToMonth})
        fill(box, months);
    for (int box : {FromDay, ToDay})
        fill(box, days);
}

void Qkh_Form::resetClicked()
{
    for (QLineEdit *t : m_text)
        t->clear();
    for (QComboBox *box : std::as_const(m_combos)) {
        box->setCurrentIndex(box == combo(CardType) ? 0 : -1);
        box->clearEditText();
    }
}

void Qkh_Form::selectBox(int index)
{
    QComboBox *box = combo(index);
    box->setFocus(Qt::OtherFocusReason);
    if (QLineEdit *edit = box->lineEdit())
        edit->setSelection(0, 20);
}

bool Qkh_Form::checkDate(int yearBox, int monthBox, int dayBox)
{
    const QString year = combo(yearBox)->currentText().trimmed();
    const QString month = combo(monthBox)->currentText().trimmed();
    const QString day = combo(dayBox)->currentText().trimmed();
    if (!year.isEmpty() && !month.isEmpty() && !day.isEmpty()) {
        const db::TypedDate typed = db::ComposeTypedDate(year, month, day);
        if (!typed.wrong)
            return true;
        msg::information(this, DateMissingMessage());
        selectBox(*typed.wrong == db::DatePart::Year ? yearBox : *typed.wrong == db::DatePart::Month ? monthBox : dayBox);
        return false;
    }
    if (year.isEmpty() && month.isEmpty() && day.isEmpty())
        return true;
    msg::information(this, DateIncompleteMessage());
    selectBox(year.isEmpty() ? yearBox : !month.isEmpty() ? dayBox : monthBox);
    return false;
}

QString Qkh_Form::criteriaText() const
{
    return db::CustomerCriteriaText(typed());
}

db::TypedCriteria Qkh_Form::typed() const
{
    db::TypedCriteria t;
    t.card = m_text[0]->text();
    t.name = m_text[1]->text();
    t.cardType = combo(CardType)->currentText();
    t.fromYear = combo(FromYear)->currentText();
    t.fromMonth = combo(FromMonth)->currentText();
    t.fromDay = combo(FromDay)->currentText();
    t.toYear = combo(ToYear)->currentText();
    t.toMonth = combo(ToMonth)->currentText();
    t.toDay = combo(ToDay)->currentText();
    return t;
}

void Qkh_Form::queryClicked()
{
    if (!checkDate(FromYear, FromMonth, FromDay) || !checkDate(ToYear, ToMonth, ToDay))
        return;
    Qkh_list_Form::showCriteria(criteriaText(), db::CustomerCriteriaOf(typed()));
}
