#include "printing/labels_form.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QSpinBox>
#include <QVBoxLayout>

#include "data/shop/labels.h"
#include "hoverpad/usercontrol1.h"
#include "printing/countersettings.h"
#include "ui/messages.h"
#include "ui/progressdialog.h"

namespace printing {

labels_Form::labels_Form(Source source, const QList<qint64> &ids, QWidget *parent)
    : QWidget(parent), m_source(source), m_ids(ids)
{
    setObjectName(QStringLiteral("labels_Form"));
    setWindowTitle(source == Source::Customers ? QStringLiteral("打印客户卡标签") : QStringLiteral("打印碟片标签"));
    auto *form = new QFormLayout;
    if (source == Source::Range) {
        m_from = new QLineEdit(this);
        m_from->setObjectName(QStringLiteral("FromNumber"));
        m_to = new QLineEdit(this);
        m_to->setObjectName(QStringLiteral("ToNumber"));
        for (QLineEdit *e : {m_from, m_to})
            e->setMaxLength(19);
        auto *range = new QHBoxLayout;
        range->addWidget(m_from);
        range->addWidget(new QLabel(QStringLiteral("至"), this));
        range->addWidget(m_to);
        form->addRow(QStringLiteral("碟片编号从"), range);
    } else {
        m_count = new QLabel(QStringLiteral("已选 %1 项").arg(ids.size()), this);
        m_count->setObjectName(QStringLiteral("Chosen"));
        form->addRow(source == Source::Customers ? QStringLiteral("客户") : QStringLiteral("碟片"), m_count);
    }
    m_layout = new QComboBox(this);
    m_layout->setObjectName(QStringLiteral("Layout"));
    for (const LabelLayout &l : LabelLayouts())
        m_layout->addItem(l.caption, l.key);
    m_layout->setCurrentIndex(qMax(0, m_layout->findData(LabelLayoutKey())));
    form->addRow(QStringLiteral("标签规格"), m_layout);
    m_first = new QSpinBox(this);
    m_first->setObjectName(QStringLiteral("FirstLabel"));
    m_first->setToolTip(QStringLiteral("用过一部分的标签纸：从第几张标签开始"));
    form->addRow(QStringLiteral("从第几张开始"), m_first);
    auto syncFirst = [this] {
        const int per = LabelsPerPage(LabelLayoutByKey(m_layout->currentData().toString()));
        m_first->setRange(1, per);
        m_first->setEnabled(per > 1);
    };
    syncFirst();
    connect(m_layout, &QComboBox::currentIndexChanged, this, [this, syncFirst] {
        SetLabelLayoutKey(m_layout->currentData().toString());
        syncFirst();
    });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    const std::pair<const char *, void (labels_Form::*)()> actions[] = {
        {"打印预览", &labels_Form::previewClicked}, {"打印", &labels_Form::printClicked}, {"存为PDF", &labels_Form::pdfClicked}};
    int i = 0;
    for (const auto &[caption, slot] : actions) {
        auto *b = new UserControl1(this);
        b->setObjectName(QStringLiteral("Button1_%1").arg(i++));
        b->setCaption(QString::fromUtf8(caption));
        b->setFixedSize(110, 26);
        connect(b, &UserControl1::Click, this, slot);
        buttons->addWidget(b);
    }
    auto *main = new QVBoxLayout(this);
    main->addLayout(form);
    main->addStretch();
    main->addLayout(buttons);
    resize(460, 220);
}

db::Result<LabelJob> labels_Form::job() const
{
    LabelJob job;
    job.layout = LabelLayoutByKey(m_layout->currentData().toString());
    job.offset = m_first->value() - 1;
    db::Result<QList<db::LabelText>> labels = QList<db::LabelText>{};
    if (m_source == Source::Range) {
        bool okFrom = false, okTo = false;
        const qint64 from = m_from->text().trimmed().toLongLong(&okFrom), to = m_to->text().trimmed().toLongLong(&okTo);
        if (!okFrom || !okTo || from <= 0 || to < from)
            return db::Status::failure(QStringLiteral("请填入碟片编号的范围（从小到大）！"));
        labels = db::DiscLabelRange(from, to);
    } else if (m_source == Source::Customers) {
        labels = db::CustomerLabels(m_ids);
    } else {
        labels = db::DiscLabels(m_ids);
    }
    if (!labels)
        return labels.status();
    if (labels->isEmpty())
        return db::Status::failure(QStringLiteral("没有可打印的标签！"));
    job.labels = *labels;
    return job;
}

bool labels_Form::saveAsPdf(const QString &path)
{
    auto made = job();
    if (!made) {
        msg::information(this, made.error());
        return false;
    }
    ui::ProgressDialog progress(this, windowTitle());
    if (db::Status s = WriteLabelsPdf(path, *made, progress); !s) {
        msg::information(this, s.error());
        return false;
    }
    return true;
}

void labels_Form::print(QPrinter *printer, const LabelJob &job)
{
    printer->setFullPage(true);
    ui::ProgressDialog progress(this, windowTitle());
    QPainter p(printer);
    PaintLabelPages(p, *printer, job, progress);
}

void labels_Form::previewClicked()
{
    auto made = job();
    if (!made) {
        msg::information(this, made.error());
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(made->layout.page, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPrintPreviewDialog preview(&printer, this);
    const LabelJob j = *made;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, j](QPrinter *p) { print(p, j); });
    preview.exec();
}

void labels_Form::printClicked()
{
    auto made = job();
    if (!made) {
        msg::information(this, made.error());
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(made->layout.page, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        print(&printer, *made);
}

void labels_Form::pdfClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("存为PDF"), QStringLiteral("标签.pdf"),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (saveAsPdf(path))
        msg::information(this, QStringLiteral("已保存：%1").arg(path));
}

} // namespace printing
