#include "ui/progressdialog.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace ui {

namespace {
// QProgressDialog counts in int; long work counts in 64 bits.
constexpr int kScale = 1000;
} // namespace

ProgressDialog::ProgressDialog(QWidget *parent, const QString &title, bool cancellable)
    : m_dialog(new QProgressDialog(parent))
{
    m_dialog->setObjectName(QStringLiteral("progressDialog"));
    m_dialog->setWindowTitle(title);
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(100);
    m_dialog->setMinimumWidth(360);
    m_dialog->setRange(0, 0);
    if (cancellable)
        m_dialog->setCancelButtonText(QStringLiteral("取消"));
    else
        m_dialog->setCancelButton(nullptr);
    m_sinceEvents.start();
}

ProgressDialog::~ProgressDialog()
{
    if (m_dialog) {
        m_dialog->close();
        delete m_dialog;
    }
}

void ProgressDialog::stage(const QString &what, qint64 steps)
{
    m_steps = steps;
    if (!m_dialog)
        return;
    m_dialog->setLabelText(what);
    m_dialog->setRange(0, steps > 0 ? kScale : 0);
    m_dialog->setValue(0);
    QCoreApplication::processEvents();
    m_sinceEvents.restart();
}

bool ProgressDialog::advance(qint64 done)
{
    if (m_dialog && m_sinceEvents.elapsed() >= 50) {
        if (m_steps > 0)
            m_dialog->setValue(int(qBound(qint64(0), done * kScale / m_steps, qint64(kScale))));
        else
            m_dialog->setValue(0); // shows the dialog once its minimum duration has passed
        QCoreApplication::processEvents();
        m_sinceEvents.restart();
    }
    return !cancelled();
}

bool ProgressDialog::cancelled() const
{
    return m_dialog && m_dialog->wasCanceled();
}

} // namespace ui
