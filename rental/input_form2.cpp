#include "rental/input_form2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "data/store/clock.h"
#include "data/shop/customerchecks.h"
#include "data/store/dates.h"
#include "data/store/formatting.h"
#include "data/shop/lookuplists.h"
#include "data/shop/rentals.h"
#include "data/shop/scans.h"
#include "hoverpad/usercontrol1.h"
#include "data/shop/slips.h"
#include "lists/openers.h"
#include "printing/openers.h"
#include "rental/customerfields.h"
#include "rental/list_form2.h"
#include "rental/prerentlist.h"
#include "rental/scanbox.h"
#include "ui/fieldcheck.h"
#include "ui/listgrid.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/twips.h"
#include "ui/underlinedfield.h"
#include "ui/windowhost.h"

using ui::twips;

namespace {

enum Field { Name = 0, Card = 1, CardType = 26, Deposit = 39, Remark = 40 };
const QList<int> kFieldOrder = {Name, Card, CardType, Deposit, Remark};

enum Button { Reset = 0, Submit = 1, Customers = 2, Picker = 3, Remove = 4 };

struct Column
{
    const char *header;
    int width;
};
const Column kColumns[] = {{"碟片编号", 820}, {"所属柜位", 800}, {"碟片名称", 1800}, {"主角", 1800},
                           {"导演/监制", 1000}, {"碟装", 500}, {"国别", 1000}, {"媒介类别", 1000},
                           {"内容类别", 1000}, {"", 1000}};

QStringList cellsOf(const db::PreRentDisc &d)
{
    return {db::FormatRecordNumber(d.id), d.shelf.trimmed(), d.title.trimmed(), d.starring.trimmed(),
            d.director.trimmed(), QString::number(d.count), d.country.trimmed(), d.media.trimmed(),
            d.category.trimmed(), QString()};
}

} // namespace

input_Form2::input_Form2(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("input_Form2"));
    setWindowTitle(QStringLiteral("租碟登记"));
    build();
    resize(twips(12030), twips(8730));
    m_date->setText(db::LongDisplayDate(db::Clock::today()));
    m_date->adjustSize();
    Grid1_load();
    showTotal();
    // Discs and the customer loaded here belong to the file in use: after the switch to the
    // other file the same numbers name other discs and customers.
    connect(ui::DataSwitch::instance(), &ui::DataSwitch::switched, this, &input_Form2::forgetData);
}

input_Form2::~input_Form2()
{
    // The pre-rent list goes with the window.
    rental::PreRent().clear();
}

input_Form2 *input_Form2::shared()
{
    return ui::Shared<input_Form2>([] { return new input_Form2; });
}

QLineEdit *input_Form2::buildField(int index)
{
    QLineEdit *edit = ui::AddUnderlinedField(this, rental::CustomerField(index));
    edit->installEventFilter(this);
    m_fields.insert(index, edit);
    return edit;
}

void input_Form2::build()
{
    for (int index : kFieldOrder)
        buildField(index);
    findChild<QLabel *>(QStringLiteral("Label1_%1").arg(Deposit))->setToolTip(QStringLiteral("指月薪.不填为面议"));
    for (int i = 1; i < kFieldOrder.size(); ++i)
        setTabOrder(field(kFieldOrder[i - 1]), field(kFieldOrder[i]));

    m_date = new QLabel(QStringLiteral("2005年10月16日"), this);
    m_date->setObjectName(QStringLiteral("Label2"));
    m_date->move(twips(9360), twips(390));

    m_frame = new QGroupBox(QStringLiteral("预租列表"), this);
    m_frame->setObjectName(QStringLiteral("Frame1"));
    m_frame->setGeometry(twips(135), twips(1680), twips(11640), twips(6060));
    m_grid = new ui::ListGrid(m_frame);
    m_grid->setGeometry(twips(120), twips(300), twips(11400), twips(5640));
    connect(m_grid, &ui::ListGrid::clicked, this, &input_Form2::gridClicked);

    auto *discs = new QLabel(QStringLiteral("碟数："), this);
    discs->setObjectName(QStringLiteral("Label3"));
    discs->move(twips(240), twips(7950));
    m_total = new QLabel(QStringLiteral("0"), this);
    m_total->setObjectName(QStringLiteral("Label4"));
    m_total->setMinimumWidth(twips(600));
    m_total->move(twips(840), twips(7950));

    struct Place
    {
        const char *caption;
        int left, width;
    };
    const Place places[] = {{"×重置", 8640, 990},       {"√提交", 9810, 990},          {"客户列表", 5760, 1200},
                            {"选择可租碟片", 2400, 1500}, {"移岀预租列表", 4080, 1500}};
    for (int i = 0; i < 5; ++i) {
        auto *b = new UserControl1(this);
        b->setObjectName(QStringLiteral("Button1_%1").arg(i));
        b->setCaption(QString::fromUtf8(places[i].caption));
        b->setGeometry(twips(places[i].left), twips(7860), twips(places[i].width), twips(375));
        m_buttons << b;
    }
    m_buttons[Customers]->setToolTip(QStringLiteral("点击查看列表"));
    m_buttons[Remove]->setEnabled(false);
    connect(m_buttons[Reset], &UserControl1::Click, this, [this] { resetClicked(); });
    connect(m_buttons[Submit], &UserControl1::Click, this, [this] { submitClicked(); });
    connect(m_buttons[Customers], &UserControl1::Click, this, [] { lists::OpenAllCustomersList(); });
    connect(m_buttons[Picker], &UserControl1::Click, this, [this] { pickerClicked(); });
    connect(m_buttons[Remove], &UserControl1::Click, this, [this] { removeClicked(); });

    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("Combo1"));
    m_combo->hide();
    connect(m_combo, &QComboBox::activated, this, &input_Form2::comboChosen);

    // A scanner types the number and Enter: the clerk never needs the mouse for a disc.
    m_scan = new rental::ScanBox(this);
    m_scan->setGeometry(twips(240), twips(1290), twips(11400), twips(300));
    connect(m_scan, &rental::ScanBox::scanned, this, &input_Form2::scanned);

    ui::CheckOnLeave(field(Deposit), db::DepositProblem);
    ui::CheckOnLeave(field(Card), db::IdentityCardProblem);
}

// ---------------------------------------------------------------- pre-rent list

void input_Form2::Grid1_load()
{
    const rental::PreRentList &list = rental::PreRent();
    m_grid->setUpdatesEnabled(false);
    m_grid->clear();
    m_grid->setColumnCount(int(std::size(kColumns)));
    QStringList headers;
    for (int c = 0; c < int(std::size(kColumns)); ++c) {
        headers << QString::fromUtf8(kColumns[c].header);
        m_grid->setColumnWidth(c, twips(kColumns[c].width));
    }
    m_grid->setHorizontalHeaderLabels(headers);
    m_grid->setRowCount(list.PreRentCount());
    for (int r = 1; r <= list.PreRentCount(); ++r) {
        const QStringList cells = cellsOf(list.at(r));
        for (int c = 0; c < cells.size(); ++c)
            m_grid->setCell(r, c, cells.at(c), ui::CellAlign::LeftCentre);
    }
    m_grid->selectCell(0, 0);
    m_grid->setUpdatesEnabled(true);
    // Row numbers change with every rebuild: no earlier selection may be acted on.
    m_selectedRow = 0;
    m_buttons[Remove]->setEnabled(false);
    showTotal();
}

void input_Form2::showTotal()
{
    m_total->setText(QString::number(rental::PreRent().discTotal()));
}

QString input_Form2::AddToPreRentList(const QList<qint64> &ids)
{
    auto read = db::ReadPreRentDiscs(ids);
    if (!read)
        return read.error();
    const auto added = rental::PreRent().add(read->discs);
    Grid1_load();
    if (!added.added.isEmpty())
        m_grid->selectCell(rental::PreRent().PreRentCount(), 1);
    QStringList lines;
    if (added.refused.isEmpty())
        lines << QStringLiteral("已添加至预租列表！");
    else
        lines << rental::PreRentFullMessage(int(added.added.size()), int(added.refused.size()));
    if (!read->notRentable.isEmpty()) {
        QStringList numbers;
        for (qint64 id : read->notRentable)
            numbers << db::FormatRecordNumber(id);
        lines << QStringLiteral("碟片 %1 已不能出租（已删除或已租出），未添加。").arg(numbers.join(QStringLiteral("、")));
    }
    return lines.join(QStringLiteral("\r\n"));
}

void input_Form2::scanned(const QString &typed)
{
    const db::ScanCode code = db::ParseScanCode(typed);
    if (code.kind == db::ScanCode::Kind::Invalid) {
        m_scan->refuse(QStringLiteral("无法识别的编号：%1").arg(typed.trimmed()));
        return;
    }
    if (code.kind == db::ScanCode::Kind::Customer) {
        auto customer = db::LoadRentalCustomer(code.number);
        if (!customer) {
            m_scan->refuse(customer.error());
            return;
        }
        if (LoadRentalCustomer(code.number))
            m_scan->note(QStringLiteral("已载入客户 %1 %2。").arg(db::FormatRecordNumber(code.number), customer->name.value_or(QString())));
        return;
    }
    rental::PreRentList &list = rental::PreRent();
    const QString number = db::FormatRecordNumber(code.number);
    if (list.contains(code.number)) {
        m_scan->refuse(QStringLiteral("碟片 %1 已在预租列表中。").arg(number));
        return;
    }
    if (list.PreRentCount() >= rental::PreRentList::Capacity) {
        m_scan->refuse(QStringLiteral("预租列表已满（最多 %1 张碟片），碟片 %2 未添加。").arg(rental::PreRentList::Capacity).arg(number));
        return;
    }
    auto scan = db::ScanDisc(code.number, db::Clock::today());
    if (!scan) {
        m_scan->refuse(scan.error());
        return;
    }
    if (scan->state != db::DiscScan::State::Rentable) {
        m_scan->refuse(db::ScanRefusal(*scan));
        return;
    }
    list.add({scan->disc});
    Grid1_load();
    m_grid->selectCell(list.PreRentCount(), 1);
    m_grid->scrollToBottom();
    m_scan->note(QStringLiteral("已添加：%1 %2").arg(number, scan->disc.title.trimmed()));
}

void input_Form2::gridClicked()
{
    m_selectedRow = m_grid->Row();
    m_buttons[Remove]->setEnabled(m_grid->wholeRowsSelected());
}

void input_Form2::removeClicked()
{
    rental::PreRent().remove(m_selectedRow, m_grid->RowSel());
    Grid1_load();
    ui::BringToFront(this);
}

// ---------------------------------------------------------------- fields

void input_Form2::emptyFields()
{
    for (int index : kFieldOrder)
        field(index)->clear();
}

void input_Form2::unlockFields()
{
    for (int index : kFieldOrder)
        field(index)->setEnabled(true);
}

bool input_Form2::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut && watched == field(CardType)) {
        // A box or another window taking the focus takes the drop-down with it: the focus
        // may come back to a different field without this field hearing of it.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason && QApplication::focusWidget() != m_combo)
            m_combo->hide();
    }
    if (event->type() == QEvent::FocusIn) {
        const int index = m_fields.key(qobject_cast<QLineEdit *>(watched), -1);
        if (index >= 0) {
            const bool back = m_returningTo == watched;
            m_returningTo = nullptr;
            if (back)
                m_combo->hide();
            else
                enterField(index);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void input_Form2::enterField(int index)
{
    m_combo->hide();
    if (index != CardType)
        return;
    QLineEdit *f = field(CardType);
    m_combo->clear();
    m_combo->setProperty("tag", QString::number(CardType));
    m_combo->addItem(QString());
    m_combo->addItems(db::Lookups().CardTypeList.entries());
    m_combo->setGeometry(f->x() + twips(100), f->y() + f->height() + twips(100), twips(1500),
                         m_combo->sizeHint().height());
    m_combo->show();
    m_combo->raise();
}

void input_Form2::comboChosen(int item)
{
    bool ok = false;
    const int index = m_combo->property("tag").toString().toInt(&ok);
    if (ok && m_fields.contains(index)) {
        field(index)->setText(m_combo->itemText(item));
        // The focus goes back to the field just filled, without opening the drop-down again.
        if (m_combo->hasFocus()) {
            m_returningTo = field(index);
            field(index)->setFocus(Qt::OtherFocusReason);
        }
    }
    m_combo->hide();
}

bool input_Form2::LoadRentalCustomer(qint64 customerId)
{
    auto loaded = db::LoadRentalCustomer(customerId);
    if (!loaded) {
        msg::information(this, loaded.error());
        return false;
    }
    // Texts typed for someone else must not stay: the identity card finds the customer.
    emptyFields();
    unlockFields();
    const db::RentalCustomer &c = loaded.value();
    const std::pair<int, const std::optional<QString> *> values[] = {
        {Name, &c.name}, {Card, &c.card}, {CardType, &c.cardType}, {Deposit, &c.deposit}, {Remark, &c.remark}};
    for (const auto &[index, value] : values) {
        if (!value->has_value())
            continue;
        field(index)->setText(**value);
        if (index != Remark)
            field(index)->setEnabled(false);
    }
    m_customerId = customerId;
    setProperty("Tag", QString::number(customerId));
    return true;
}

// ---------------------------------------------------------------- buttons

void input_Form2::resetClicked()
{
    if (m_customerId == 0)
        emptyFields();
}

void input_Form2::submitClicked()
{
    if (field(Name)->text().trimmed().isEmpty()) {
        msg::information(this, db::RenterNameMissingMessage());
        field(Name)->setFocus(Qt::OtherFocusReason);
        return;
    }
    db::RentalRequest request;
    request.name = field(Name)->text().trimmed();
    request.card = field(Card)->text().trimmed();
    request.cardType = field(CardType)->text().trimmed();
    request.deposit = field(Deposit)->text().trimmed();
    request.remark = field(Remark)->text().trimmed();
    request.tagCustomerId = m_customerId;
    request.discs = rental::PreRent().picked();
    auto committed = db::CommitRental(request);
    if (!committed) {
        // Nothing was written: the fields and the list stay for another try.
        msg::information(this, committed.error());
        return;
    }
    QList<qint64> rented;
    for (const db::PickedDisc &d : request.discs)
        rented << d.id;
    rental::PreRent().clear();
    Grid1_load();
    m_scan->clearNote();
    emptyFields();
    unlockFields();
    m_customerId = 0;
    setProperty("Tag", QString());
    ui::ReloadFlag::set();
    if (list_Form2 *picker = ui::SharedIfOpen<list_Form2>())
        ui::CloseWindow(picker);
    msg::information(this, QStringLiteral("数据提交完毕！"));
    if (auto slip = db::RentalSlip(*committed, rented))
        printing::OfferSlips(this, {*slip});
}

void input_Form2::pickerClicked()
{
    list_Form2::openShared();
}

void input_Form2::forgetData()
{
    rental::PreRent().clear();
    Grid1_load();
    m_scan->clearNote();
    if (m_customerId != 0) {
        emptyFields();
        unlockFields();
        m_customerId = 0;
        setProperty("Tag", QString());
    }
}

void input_Form2::closeEvent(QCloseEvent *event)
{
    rental::PreRent().clear();
    Grid1_load();
    m_scan->clearNote();
    QWidget::closeEvent(event);
}
