#include "rental/list_form2.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

#include "data/store/clock.h"
#include "data/shop/disclists.h"
#include "data/shop/lookuplists.h"
#include "discs/openers.h"
#include "hoverpad/usercontrol1.h"
#include "rental/input_form2.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/textlimit.h"
#include "ui/typedbox.h"
#include "ui/twips.h"
#include "ui/windowhost.h"

using ui::twips;

namespace {

// The filter boxes and the lists they offer, in the order they stand.
struct Box
{
    const char *label;
    db::Lookup list;
};
const Box kBoxes[] = {{"主    角：", db::Lookup::Starring}, {"导    演：", db::Lookup::Director},
                      {"媒介类别：", db::Lookup::Media},    {"内容类别：", db::Lookup::Content},
                      {"国    家：", db::Lookup::Country}};

} // namespace

QString DiscNumberFilterMessage()
{
    return QStringLiteral("碟片编号请填入整数！");
}

list_Form2::list_Form2(QWidget *parent) : PagedListForm(parent)
{
    setObjectName(QStringLiteral("list_Form2"));
    using ui::CellAlign;
    setColumns({
        {QStringLiteral("碟片编号"), 820, CellAlign::CentreTop},
        {QStringLiteral("所属柜位"), 800, CellAlign::CentreTop},
        {QStringLiteral("碟片名称"), 1800, CellAlign::LeftCentre},
        {QStringLiteral("主角"), 1800, CellAlign::Default},
        {QStringLiteral("导演/监制"), 1000, CellAlign::Default},
        {QStringLiteral("碟装"), 500, CellAlign::CentreTop},
        {QStringLiteral("国别"), 1000, CellAlign::Default},
        {QStringLiteral("媒介类别"), 1000, CellAlign::Default},
        {QStringLiteral("内容类别"), 1000, CellAlign::Default},
    });
    setPagingButtons(PagingButtons::HiddenUntilLoaded);
    setShowsButton2(true);
    button2()->setCaption(QStringLiteral("出    租"));
    m_filter.state = db::RentalState::OnShelf;
    build();
}

void list_Form2::build()
{
    // The grid gives up the right of the window to the filter column.
    grid()->setGeometry(twips(120), twips(120), twips(9780), twips(7380));
    const int left = twips(10020), width = twips(1800);
    int y = twips(120);
    auto addLabel = [&](int index, const QString &text) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QStringLiteral("Label2_%1").arg(index));
        label->adjustSize();
        label->move(left, y);
        y += label->height() + 2;
    };
    auto place = [&](QWidget *w) {
        const int h = std::max(twips(300), w->sizeHint().height());
        w->setGeometry(left, y, width, h);
        y += h + twips(150);
    };

    addLabel(0, QStringLiteral("碟片编号："));
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("Text1_0"));
    ui::LimitLength(m_number);
    place(m_number);
    addLabel(1, QStringLiteral("碟片名称："));
    m_title = new QLineEdit(this);
    m_title->setObjectName(QStringLiteral("Text1_1"));
    ui::LimitLength(m_title);
    place(m_title);
    int i = 0;
    for (const Box &b : kBoxes) {
        addLabel(2 + i, QString::fromUtf8(b.label));
        QComboBox *box = ui::NewTypedBox(this, QStringLiteral("Combo1_%1").arg(i));
        // Filled once, from the lists as they are when the window loads.
        box->addItem(QString());
        box->addItems(db::Lookups().list(b.list).entries());
        box->setCurrentIndex(0);
        place(box);
        m_boxes << box;
        ++i;
    }
    m_query = new UserControl1(this);
    m_query->setObjectName(QStringLiteral("button3"));
    m_query->setCaption(QStringLiteral("查    询"));
    m_query->setGeometry(left + (width - twips(1215)) / 2, y + twips(60), twips(1215), twips(375));
    connect(m_query, &UserControl1::Click, this, [this] { queryClicked(); });
}

db::PagedQuery list_Form2::query() const
{
    return db::DiscFilterQuery(m_filter);
}

QStringList list_Form2::cells(const QVariantList &row) const
{
    return db::DiscListCells(row, db::Clock::today()).mid(0, 9);
}

bool list_Form2::readFilter(db::DiscFilter &filter, QString *problem) const
{
    filter = db::DiscFilter{};
    filter.state = db::RentalState::OnShelf;
    const QString number = m_number->text().trimmed();
    if (!number.isEmpty()) {
        bool ok = false;
        const qint64 n = number.toLongLong(&ok);
        if (!ok) {
            if (problem)
                *problem = DiscNumberFilterMessage();
            return false;
        }
        filter.number = std::max<qint64>(0, n); // 0 or less: no number
    }
    filter.title = m_title->text().trimmed();
    QString *const texts[] = {&filter.starring, &filter.director, &filter.media, &filter.category,
                              &filter.country};
    for (int i = 0; i < m_boxes.size(); ++i)
        *texts[i] = m_boxes.at(i)->currentText().trimmed();
    return true;
}

bool list_Form2::takeFilterFromControls()
{
    db::DiscFilter f;
    QString problem;
    if (!readFilter(f, &problem)) {
        msg::information(this, problem);
        m_number->setFocus(Qt::OtherFocusReason);
        m_number->setSelection(0, 20);
        return false;
    }
    m_filter = f;
    return true;
}

bool list_Form2::prepareLoad(LoadCause cause)
{
    if (cause == LoadCause::Activation) {
        // A reload after a change shows the rentable discs unfiltered; the filter boxes are
        // emptied with it, so they never show a filter the list does not apply.
        m_filter = db::DiscFilter{};
        m_filter.state = db::RentalState::OnShelf;
        m_number->clear();
        m_title->clear();
        for (QComboBox *box : std::as_const(m_boxes)) {
            box->setCurrentIndex(0);
            box->clearEditText();
        }
        return true;
    }
    // Paging applies the filters as they stand, queried or not.
    return takeFilterFromControls();
}

void list_Form2::queryClicked()
{
    if (!takeFilterFromControls())
        return;
    // The rows change: a selection made before must be made again.
    if (loadPage(shownPage()))
        button2()->setEnabled(false);
    m_query->setFocus(Qt::OtherFocusReason);
}

void list_Form2::openRecord(qint64 id)
{
    discs::OpenDiscForCorrection(id);
}

void list_Form2::button2Clicked()
{
    QList<qint64> ids;
    const int first = selectedRow(), last = grid()->RowSel();
    if (first > 0) {
        for (int r = std::min(first, last); r <= std::max(first, last); ++r) {
            if (const qint64 id = rowRecord(r); id > 0)
                ids << id;
        }
    }
    input_Form2 *rental = input_Form2::shared();
    const QString message = rental->AddToPreRentList(ids);
    msg::information(this, message);
    ui::BringToFront(rental);
}

list_Form2 *list_Form2::openShared()
{
    ui::ReloadFlag::set();
    list_Form2 *w = ui::Shared<list_Form2>([] { return new list_Form2; });
    w->setWindowTitle(caption());
    ui::BringToFront(w);
    w->activate(); // loads now unless becoming the active window already did
    return w;
}

list_Form2 *list_Form2::openNew()
{
    auto *w = new list_Form2;
    w->setWindowTitle(caption());
    ui::ReloadFlag::set();
    ui::ShowWindow(w);
    w->activate();
    return w;
}
