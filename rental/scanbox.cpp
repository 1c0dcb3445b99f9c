#include "rental/scanbox.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "ui/textlimit.h"
#include "ui/twips.h"

namespace rental {

ScanBox::ScanBox(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ScanLine"));
    auto *caption = new QLabel(QStringLiteral("扫描碟片编号"), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("ScanBox"));
    m_edit->setFixedWidth(ui::twips(1800));
    ui::LimitLength(m_edit, 40);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("ScanMessage"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(caption);
    row->addWidget(m_edit);
    row->addWidget(m_message, 1);
    connect(m_edit, &QLineEdit::returnPressed, this, [this] {
        const QString typed = m_edit->text();
        m_edit->clear();
        if (!typed.trimmed().isEmpty())
            emit scanned(typed);
    });
}

void ScanBox::note(const QString &text)
{
    m_message->setStyleSheet(QString());
    m_message->setText(text);
}

void ScanBox::refuse(const QString &text)
{
    m_message->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_message->setText(text);
    QApplication::beep();
}

} // namespace rental
