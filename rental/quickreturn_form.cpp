#include "rental/quickreturn_form.h"

#include <QLineEdit>

#include "data/store/clock.h"
#include "data/store/dates.h"
#include "data/store/formatting.h"
#include "data/shop/slips.h"
#include "hoverpad/usercontrol1.h"
#include "printing/openers.h"
#include "rental/scanbox.h"
#include "ui/listgrid.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/twips.h"
#include "ui/windowhost.h"

using ui::twips;

namespace rental {
namespace {

struct Column
{
    const char *header;
    int width;
};
const Column kColumns[] = {{"碟片编号", 1000}, {"碟片名称", 2600}, {"客户编号", 1000},
                           {"客户姓名", 1600}, {"租碟日期", 1300}, {"天数", 700}};

} // namespace

quickReturn_Form::quickReturn_Form(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("quickReturn_Form"));
    setWindowTitle(QStringLiteral("快速还碟"));
    resize(twips(9000), twips(7000));

    m_scan = new ScanBox(this);
    m_scan->setGeometry(twips(240), twips(240), twips(8520), twips(300));
    connect(m_scan, &ScanBox::scanned, this, &quickReturn_Form::scanned);

    m_grid = new ui::ListGrid(this);
    m_grid->setObjectName(QStringLiteral("Grid1"));
    m_grid->setGeometry(twips(240), twips(720), twips(8520), twips(5100));

    m_submit = new UserControl1(this);
    m_submit->setObjectName(QStringLiteral("Button1_0"));
    m_submit->setCaption(QStringLiteral("√提交"));
    m_submit->setGeometry(twips(7560), twips(6000), twips(1200), twips(375));
    connect(m_submit, &UserControl1::Click, this, [this] { submitClicked(); });
    m_undo = new UserControl1(this);
    m_undo->setObjectName(QStringLiteral("Button1_1"));
    m_undo->setCaption(QStringLiteral("撤销还碟"));
    m_undo->setGeometry(twips(6000), twips(6000), twips(1320), twips(375));
    m_undo->setEnabled(false);
    connect(m_undo, &UserControl1::Click, this, [this] { undoClicked(); });

    showRows();
    // Records of one file mean nothing in the other.
    connect(ui::DataSwitch::instance(), &ui::DataSwitch::switched, this, &quickReturn_Form::forgetData);
    m_scan->edit()->setFocus(Qt::OtherFocusReason);
}

quickReturn_Form *quickReturn_Form::shared()
{
    return ui::Shared<quickReturn_Form>([] { return new quickReturn_Form; });
}

void quickReturn_Form::showRows()
{
    m_grid->setUpdatesEnabled(false);
    m_grid->clear();
    m_grid->setColumnCount(int(std::size(kColumns)));
    QStringList headers;
    for (int c = 0; c < int(std::size(kColumns)); ++c) {
        headers << QString::fromUtf8(kColumns[c].header);
        m_grid->setColumnWidth(c, twips(kColumns[c].width));
    }
    m_grid->setHorizontalHeaderLabels(headers);
    m_grid->setRowCount(int(m_rows.size()));
    for (int r = 0; r < m_rows.size(); ++r) {
        const db::OpenRental &o = m_rows.at(r);
        const QStringList cells = {db::FormatRecordNumber(o.disc), o.title, db::FormatRecordNumber(o.customer),
                                   o.customerName, db::DisplayDate(o.rented),
                                   o.days ? QString::number(*o.days) : QString()};
        for (int c = 0; c < cells.size(); ++c)
            m_grid->setCell(r + 1, c, cells.at(c), ui::CellAlign::LeftCentre);
    }
    m_grid->setUpdatesEnabled(true);
    if (!m_rows.isEmpty()) {
        m_grid->selectCell(int(m_rows.size()), 1);
        m_grid->scrollToBottom();
    }
}

void quickReturn_Form::scanned(const QString &typed)
{
    const db::ScanCode code = db::ParseScanCode(typed);
    if (code.kind != db::ScanCode::Kind::Disc) {
        m_scan->refuse(QStringLiteral("请扫描碟片编号：%1 不是碟片编号。").arg(typed.trimmed()));
        return;
    }
    const QString number = db::FormatRecordNumber(code.number);
    for (const db::OpenRental &o : std::as_const(m_rows)) {
        if (o.disc == code.number) {
            m_scan->refuse(QStringLiteral("碟片 %1 已在还碟列表中。").arg(number));
            return;
        }
    }
    auto scan = db::ScanDisc(code.number, db::Clock::today());
    if (!scan) {
        m_scan->refuse(scan.error());
        return;
    }
    if (scan->state != db::DiscScan::State::Out || !scan->open) {
        m_scan->refuse(scan->state == db::DiscScan::State::Out
                           ? QStringLiteral("碟片 %1 没有未还的租碟记录。").arg(number)
                           : db::ScanRefusal(*scan));
        return;
    }
    m_rows << *scan->open;
    showRows();
    m_scan->note(QStringLiteral("%1 %2：%3 租于 %4").arg(number, scan->open->title, scan->open->customerName,
                                                       db::DisplayDate(scan->open->rented)));
}

void quickReturn_Form::submitClicked()
{
    if (m_rows.isEmpty()) {
        m_scan->refuse(QStringLiteral("还碟列表是空的。"));
        return;
    }
    QList<qint64> records;
    for (const db::OpenRental &o : std::as_const(m_rows))
        records << o.record;
    auto done = db::QuickReturn(records);
    if (!done) {
        // Nothing was written: the list stays for another try.
        msg::information(this, done.error());
        return;
    }
    m_last = *done;
    m_rows.clear();
    showRows();
    m_undo->setEnabled(!m_last.returned.isEmpty());
    ui::ReloadFlag::set();
    m_scan->note(QStringLiteral("已还碟 %1 张。").arg(m_last.returned.size()));
    if (auto slips = db::ReturnSlips(m_last.returned))
        printing::OfferSlips(this, *slips);
    m_scan->edit()->setFocus(Qt::OtherFocusReason);
}

void quickReturn_Form::undoClicked()
{
    auto undone = db::UndoQuickReturn(m_last);
    if (!undone) {
        msg::information(this, undone.error());
        return;
    }
    m_last = {};
    m_undo->setEnabled(false);
    ui::ReloadFlag::set();
    m_scan->note(QStringLiteral("已撤销 %1 张碟片的还碟。").arg(*undone));
    m_scan->edit()->setFocus(Qt::OtherFocusReason);
}

void quickReturn_Form::forgetData()
{
    m_rows.clear();
    m_last = {};
    m_undo->setEnabled(false);
    showRows();
    m_scan->clearNote();
}

} // namespace rental
