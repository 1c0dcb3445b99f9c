#include "hoverpad/usercontrol1.h"

#include <QLabel>
#include <QMouseEvent>

UserControl1::UserControl1(QWidget *parent) : QWidget(parent), lblCaption(new QLabel(this))
{
    lblCaption->setAlignment(Qt::AlignCenter);
    setCaption(QStringLiteral("Pressel"));
    resize(81, 25);
}

QString UserControl1::Caption() const { return m_caption; }

void UserControl1::setCaption(const QString &caption)
{
    m_caption = caption;
    lblCaption->setText(caption);
    lblCaption->setGeometry(rect());
}

void UserControl1::mouseReleaseEvent(QMouseEvent *event)
{
    if (isEnabled() && rect().contains(event->position().toPoint()))
        emit Click(pslReasonMouse);
}
