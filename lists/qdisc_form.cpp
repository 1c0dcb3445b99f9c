#include "lists/qdisc_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "data/shop/lookuplists.h"
#include "hoverpad/usercontrol1.h"
#include "lists/qdisc_list_form.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/textlimit.h"
#include "ui/typedbox.h"
#include "ui/twips.h"
#include "ui/windowhost.h"

using ui::twips;

namespace {

constexpr int kLabelLeft = 420, kLabelWidth = 1100, kFieldLeft = 1560, kFieldWidth = 4200, kFieldHeight = 315;
constexpr int kTop = 300, kRowStep = 450;

QLabel *caption(QWidget *parent, const QString &text, int index, int top)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("Label1_%1").arg(index));
    label->setGeometry(twips(kLabelLeft), twips(top), twips(kLabelWidth), twips(kFieldHeight));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

Qdisc_Form::Qdisc_Form(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Qdisc_Form"));
    setWindowTitle(QStringLiteral("碟片查询"));
    build();
    // Loading the window: its outer size and the selection boxes from the lookup lists.
    resize(twips(6435), twips(5180));
    fillBoxes();
}

QString Qdisc_Form::numberMessage()
{
    return QStringLiteral("碟片编号请填入整数！\r\n不填请保持空格。");
}

void Qdisc_Form::build()
{
    static const char *const texts[2] = {"碟片编号：", "碟片名称："};
    for (int i = 0; i < 2; ++i) {
        const int top = kTop + i * kRowStep;
        caption(this, QString::fromUtf8(texts[i]), i, top);
        m_text[i] = new QLineEdit(this);
        m_text[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
        ui::LimitLength(m_text[i]);
        m_text[i]->setGeometry(twips(kFieldLeft), twips(top), twips(kFieldWidth), twips(kFieldHeight));
    }
    static const char *const combos[5] = {"主    角：", "导    演：", "媒介类别：", "内容类别：", "国    家："};
    for (int i = 0; i < 5; ++i) {
        const int top = kTop + (i + 2) * kRowStep;
        caption(this, QString::fromUtf8(combos[i]), i + 2, top);
        m_combo[i] = ui::NewTypedBox(this, QStringLiteral("Combo1_%1").arg(i));
        m_combo[i]->setMaxVisibleItems(15);
        m_combo[i]->setGeometry(twips(kFieldLeft), twips(top), twips(kFieldWidth), twips(kFieldHeight));
    }

    const int checkTop = kTop + 7 * kRowStep;
    m_check1 = new QCheckBox(QStringLiteral("可租碟片"), this);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_check1->setGeometry(twips(kFieldLeft), twips(checkTop), twips(1500), twips(kFieldHeight));
    m_check2 = new QCheckBox(QStringLiteral("未还碟片"), this);
    m_check2->setObjectName(QStringLiteral("Check2"));
    m_check2->setGeometry(twips(kFieldLeft + 2100), twips(checkTop), twips(1500), twips(kFieldHeight));
    // The two states exclude each other: ticking one unticks the other.
    connect(m_check1, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_check2->setChecked(false);
    });
    connect(m_check2, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_check1->setChecked(false);
    });

    const int buttonTop = checkTop + 600;
    m_button1 = new UserControl1(this);
    m_button1->setObjectName(QStringLiteral("button1"));
    m_button1->setCaption(QStringLiteral("重置"));
    m_button1->setGeometry(twips(kFieldLeft), twips(buttonTop), twips(1215), twips(375));
    connect(m_button1, &UserControl1::Click, this, &Qdisc_Form::resetClicked);
    m_button2 = new UserControl1(this);
    m_button2->setObjectName(QStringLiteral("button2"));
    m_button2->setCaption(QStringLiteral("查询"));
    m_button2->setGeometry(twips(kFieldLeft + 2100), twips(buttonTop), twips(1215), twips(375));
    connect(m_button2, &UserControl1::Click, this, &Qdisc_Form::queryClicked);

    setTabOrder(m_text[0], m_text[1]);
    setTabOrder(m_text[1], m_combo[0]);
    for (int i = 0; i < 4; ++i)
        setTabOrder(m_combo[i], m_combo[i + 1]);
    setTabOrder(m_combo[4], m_check1);
    setTabOrder(m_check1, m_check2);
}

void Qdisc_Form::fillBoxes()
{
    const db::LookupLists &lists = db::Lookups();
    const db::LookupList *sources[5] = {&lists.StarringList, &lists.DirectorList, &lists.MediaList,
                                        &lists.ContentList, &lists.CountryList};
    for (int i = 0; i < 5; ++i) {
        m_combo[i]->clear();
        m_combo[i]->addItem(QString()); // the empty entry: no criterion
        m_combo[i]->addItems(sources[i]->entries());
        m_combo[i]->setCurrentIndex(0);
    }
}

QStringList Qdisc_Form::criteria() const
{
    QStringList fields;
    const QString number = m_text[0]->text();
    fields << (number.isEmpty() ? QStringLiteral("0") : number);
    fields << m_text[1]->text().trimmed();
    for (QComboBox *box : m_combo)
        fields << box->currentText().trimmed();
    fields << (m_check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    fields << (m_check2->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    return fields;
}

void Qdisc_Form::resetClicked()
{
    for (QLineEdit *t : m_text)
        t->clear();
    for (QComboBox *box : m_combo) {
        box->setCurrentIndex(0);
        box->setEditText(QString());
    }
    m_check1->setChecked(false);
    m_check2->setChecked(false);
}

void Qdisc_Form::queryClicked()
{
    // A number box holding anything but a whole number would otherwise silently list a
    // disc nobody asked for, or none.
    if (!Qdisc_list_Form::discNumber(m_text[0]->text())) {
        msg::information(this, numberMessage());
        m_text[0]->setFocus();
        m_text[0]->setSelection(0, 20);
        return;
    }
    ui::ReloadFlag::set();
    const QStringList fields = criteria();
    Qdisc_list_Form *w = ui::Shared<Qdisc_list_Form>([&] {
        auto *result = new Qdisc_list_Form;
        result->setCriteria(fields);
        return result;
    });
    w->setWindowTitle(QStringLiteral("碟片查询结果"));
    w->setCriteria(fields);
    // A new query shows its own first page, not the page the last one was turned to.
    w->setShownPage(1);
    ui::BringToFront(w);
    // Becoming the active window loads the page; a window that already was, or one shown
    // on its own, loads it now.
    if (ui::ReloadFlag::isSet())
        w->activate();
}
