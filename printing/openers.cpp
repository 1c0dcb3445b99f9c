#include "printing/openers.h"

#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>

#include "printing/countersettings.h"
#include "printing/countersettings_form.h"
#include "printing/labels_form.h"
#include "printing/slip.h"
#include "ui/messages.h"
#include "ui/windowhost.h"

namespace printing {

void OpenDiscLabels(const QList<qint64> &discs)
{
    ui::ShowWindow(new labels_Form(discs.isEmpty() ? labels_Form::Source::Range : labels_Form::Source::Discs, discs));
}

void OpenCustomerLabels(const QList<qint64> &customers)
{
    ui::ShowWindow(new labels_Form(labels_Form::Source::Customers, customers));
}

void OpenCounterSettings()
{
    ui::BringToFront(ui::Shared<counterSettings_Form>([] { return new counterSettings_Form; }));
}

void OfferSlips(QWidget *parent, const QList<db::SlipText> &slips)
{
    const SlipMode mode = SlipPrinting();
    if (mode == SlipMode::Never || slips.isEmpty())
        return;
    if (mode == SlipMode::Ask
        && !msg::confirm(parent, QStringLiteral("打印%1？").arg(slips.first().kind), QStringLiteral("打印")))
        return;
    const SlipPaper &paper = SlipPaperByKey(SlipWidthKey());
    for (const db::SlipText &slip : slips) {
        const QStringList rows = SlipRows(slip, ShopName());
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageSize(QPageSize(SlipPageSize(paper, int(rows.size())), QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
        QPrintDialog dialog(&printer, parent);
        dialog.setWindowTitle(slip.kind);
        if (dialog.exec() != QDialog::Accepted)
            return;
        PrintSlip(printer, paper, rows);
    }
}

} // namespace printing
