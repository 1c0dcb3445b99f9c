#include "rental/input_form3.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "data/store/clock.h"
#include "data/shop/customerchecks.h"
#include "data/store/dates.h"
#include "data/shop/slips.h"
#include "hoverpad/usercontrol1.h"
#include "printing/openers.h"
#include "rental/customerfields.h"
#include "rental/openers.h"
#include "ui/fieldcheck.h"
#include "ui/listgrid.h"
#include "ui/messages.h"
#include "ui/twips.h"
#include "ui/underlinedfield.h"
#include "ui/windowhost.h"

using ui::twips;

namespace {

enum Field { Name = 0, Card = 1, CardType = 26, Deposit = 39, Remark = 40 };
// Where the frame of the customer's fields stands in the window, in twips.
constexpr int kFrameLeft = 135, kFrameTop = 90;
enum Button { RefundButton = 0, ReturnButton = 1, InvalidateButton = 2, ContinueButton = 3 };
constexpr int kMarkColumn = 8;
const QString kTick = QStringLiteral("√");

struct Column
{
    const char *header;
    int width; // twips; 0 keeps the grid's default
    ui::CellAlign align;
};

// The date column is wider than the 1000 twips first laid out, so that a whole date shows
// in the font of this platform.
const Column kColumns[] = {
    {"碟片编号", 820, ui::CellAlign::CentreTop}, {"碟片名称", 1800, ui::CellAlign::LeftCentre},
    {"主角", 1800, ui::CellAlign::Default},      {"导演/监制", 1000, ui::CellAlign::Default},
    {"碟装", 600, ui::CellAlign::CentreTop},     {"媒介类别", 1000, ui::CellAlign::Default},
    {"租碟日期", 1200, ui::CellAlign::Default},  {"租岀/天", 1000, ui::CellAlign::CentreTop},
    {"归还", 0, ui::CellAlign::Default},
};

} // namespace

const QList<int> &input_Form3::fieldIndexes()
{
    static const QList<int> order = {Name, Card, CardType, Deposit, Remark};
    return order;
}

input_Form3::input_Form3(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("input_Form3"));
    setWindowTitle(QStringLiteral("租碟状况"));
    build();
    // Loading the window: its outer size, today's date and empty grids.
    resize(twips(12030), twips(8370));
    m_label2->setText(db::LongDisplayDate(db::Clock::today()));
    m_label2->adjustSize();
    gridLoad(m_grid1);
    gridLoad(m_grid2);
    // Rows read from one data file must not stay on screen after the switch to the other:
    // a tick or a refund would act on the same numbers in the wrong file.
    connect(ui::DataSwitch::instance(), &ui::DataSwitch::switched, this, [this] {
        if (m_customer > 0)
            loadRentalStatus(m_customer);
    });
}

void input_Form3::buildField(int index, QWidget *frame)
{
    // The rental window's layout, within the frame.
    m_fields.insert(index, ui::AddUnderlinedField(frame, rental::CustomerField(index, kFrameLeft, kFrameTop)));
    if (index == Deposit)
        frame->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(index))->setToolTip(QStringLiteral("指月薪.不填为面议"));
}

void input_Form3::build()
{
    auto *frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twips(kFrameLeft), twips(kFrameTop), twips(11640), twips(1140));

    for (int index : fieldIndexes())
        buildField(index, frame);
    // The same checks as where the customer is registered; nothing here is saved.
    ui::CheckOnLeave(m_fields.value(Card), db::IdentityCardProblem);
    ui::CheckOnLeave(m_fields.value(Deposit), db::DepositProblem);
    const QList<int> &order = fieldIndexes();
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(m_fields.value(order[i - 1]), m_fields.value(order[i]));

    m_tab = new QTabWidget(this);
    m_tab->setObjectName(QStringLiteral("SSTab1"));
    m_tab->setGeometry(twips(135), twips(1320), twips(11640), twips(6060));
    const char *const tabs[2] = {"租过碟片列表", "未还碟片列表"};
    for (int i = 0; i < 2; ++i) {
        auto *page = new QWidget;
        auto *grid = new ui::ListGrid(page);
        grid->setObjectName(QStringLiteral("Grid%1").arg(i + 1));
        grid->setGeometry(twips(60), twips(60), twips(11460), twips(5460));
        m_tab->addTab(page, QString::fromUtf8(tabs[i]));
        (i == 0 ? m_grid1 : m_grid2) = grid;
    }
    connect(m_grid2, &ui::ListGrid::clicked, this, &input_Form3::outGridClicked);

    struct Caption
    {
        const char *name;
        const char *text;
        int left;
    };
    const Caption captions[] = {{"Label3", "租过碟数：", 240}, {"Label4", "0", 1230},
                                {"Label5", "未还碟数：", 1920}, {"Label6", "0", 2910},
                                {"Label2", "2005年10月16日", 3600}};
    for (const Caption &c : captions) {
        auto *label = new QLabel(QString::fromUtf8(c.text), this);
        label->setObjectName(QString::fromLatin1(c.name));
        label->adjustSize();
        label->move(twips(c.left), twips(7575));
        if (qstrcmp(c.name, "Label2") == 0)
            m_label2 = label;
        else if (qstrcmp(c.name, "Label4") == 0)
            m_label4 = label;
        else if (qstrcmp(c.name, "Label6") == 0)
            m_label6 = label;
    }
    m_label4->setMinimumWidth(twips(600));
    m_label6->setMinimumWidth(twips(600));

    const char *const buttons[4] = {"押金返还", "√还碟提交", "办证失效", "继续租碟"};
    for (int i = 0; i < 4; ++i) {
        auto *b = new UserControl1(this);
        b->setObjectName(QStringLiteral("Button1_%1").arg(i));
        b->setCaption(QString::fromUtf8(buttons[i]));
        b->setGeometry(twips(6360 + 1350 * i), twips(7500), twips(1215), twips(375));
        m_buttons << b;
    }
    connect(m_buttons[RefundButton], &UserControl1::Click, this, [this] { refundClicked(); });
    connect(m_buttons[ReturnButton], &UserControl1::Click, this, [this] { returnClicked(); });
    connect(m_buttons[InvalidateButton], &UserControl1::Click, this, [this] { invalidateClicked(); });
    connect(m_buttons[ContinueButton], &UserControl1::Click, this, [this] { continueClicked(); });
}

// Grid1_load / Grid2_load: the header row alone, with the nine columns.
void input_Form3::gridLoad(ui::ListGrid *grid)
{
    grid->clearContents();
    grid->setRowCount(0);
    grid->setColumnCount(int(std::size(kColumns)));
    QStringList headers;
    for (int c = 0; c < int(std::size(kColumns)); ++c) {
        headers << QString::fromUtf8(kColumns[c].header);
        if (kColumns[c].width > 0)
            grid->setColumnWidth(c, twips(kColumns[c].width));
    }
    grid->setHorizontalHeaderLabels(headers);
    if (grid == m_grid2)
        m_outRecords.clear();
}

void input_Form3::fillGrid(ui::ListGrid *grid, const QList<db::StatusRow> &rows)
{
    grid->setUpdatesEnabled(false);
    grid->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList cells = db::StatusCells(rows.at(r));
        for (int c = 0; c < cells.size() && c < int(std::size(kColumns)); ++c)
            grid->setCell(r + 1, c, cells.at(c), kColumns[c].align);
    }
    grid->setUpdatesEnabled(true);
}

void input_Form3::setField(int index, const QString &text)
{
    if (QLineEdit *e = m_fields.value(index))
        e->setText(text);
}

bool input_Form3::loadRentalStatus(qint64 customerId)
{
    auto loaded = db::LoadRentalStatus(customerId);
    if (!loaded) {
        msg::information(this, loaded.error());
        return false;
    }
    const db::RentalStatus &st = loaded.value();
    // The fields show the customer as stored now, so a second window for the same customer
    // does not go on showing a deposit or card another window has cleared.
    setField(Name, st.name);
    setField(Card, st.card);
    setField(CardType, st.cardType);
    setField(Deposit, st.deposit);
    setField(Remark, st.remark);
    m_buttons[InvalidateButton]->setEnabled(st.hasCardType);
    m_buttons[RefundButton]->setEnabled(st.hasDeposit);

    gridLoad(m_grid2);
    fillGrid(m_grid2, st.out);
    for (const db::StatusRow &row : st.out)
        m_outRecords << row.record;
    gridLoad(m_grid1);
    fillGrid(m_grid1, st.history);

    m_customer = customerId;
    setProperty("Tag", QString::number(customerId));
    m_label6->setText(QString::number(st.discsOut));
    m_label4->setText(QString::number(st.discsRented));
    return true;
}

input_Form3 *input_Form3::openForCustomer(qint64 customerId)
{
    auto *w = new input_Form3;
    if (!w->loadRentalStatus(customerId)) {
        delete w;
        return nullptr;
    }
    // Opened to record returns: the discs out are in front when there are any.
    w->m_tab->setCurrentIndex(w->m_outRecords.isEmpty() ? 0 : 1);
    ui::ShowWindow(w);
    return w;
}

// A click in the title or mark column of a row ticks it as returned, or unticks it.
void input_Form3::outGridClicked()
{
    const int row = m_grid2->Row();
    const int col = m_grid2->Col();
    if (row < 1 || row > m_grid2->rowCount() || (col != kMarkColumn && col != 1))
        return;
    if (m_grid2->cellText(row, kMarkColumn).isEmpty()) {
        m_grid2->setCell(row, kMarkColumn, kTick, kColumns[kMarkColumn].align);
        m_buttons[ReturnButton]->setEnabled(true);
    } else {
        m_grid2->setCell(row, kMarkColumn, QString(), kColumns[kMarkColumn].align);
    }
}

void input_Form3::returnClicked()
{
    QList<qint64> ticked;
    for (int r = 1; r <= m_grid2->rowCount() && r <= m_outRecords.size(); ++r) {
        if (m_grid2->cellText(r, kMarkColumn).trimmed().contains(kTick))
            ticked << m_outRecords.at(r - 1);
    }
    auto returned = db::ReturnDiscs(m_customer, ticked);
    if (!returned) {
        // Nothing was returned: the ticks stay for another try.
        msg::information(this, returned.error());
        return;
    }
    // Shows what is stored now, also what another window changed meanwhile.
    loadRentalStatus(m_customer);
    m_buttons[ReturnButton]->setEnabled(false);
    QList<db::ReturnedRecord> closed;
    for (const qint64 record : returned->closed)
        closed << db::ReturnedRecord{record, 0, m_customer};
    if (auto slips = db::ReturnSlips(closed))
        printing::OfferSlips(this, *slips);
}

void input_Form3::refundClicked()
{
    auto refunded = db::RefundDeposit(m_customer);
    if (!refunded) {
        msg::information(this, refunded.error());
        return;
    }
    setField(Deposit, QString());
    m_buttons[RefundButton]->setEnabled(false);
}

void input_Form3::invalidateClicked()
{
    auto invalidated = db::InvalidateCard(m_customer);
    if (!invalidated) {
        msg::information(this, invalidated.error());
        return;
    }
    setField(CardType, QString());
}

// Goes on renting to this customer in the rental window; this window has done its part.
void input_Form3::continueClicked()
{
    if (rental::OpenRentalWindowForCustomer(m_customer))
        ui::CloseWindow(this);
}
