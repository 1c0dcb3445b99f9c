#pragma once
// Placeholder interface of the hover button; the full control replaces this file.
#include <QColor>
#include <QFont>
#include <QWidget>

#include "hoverpad/hoverpad_export.h"

class QLabel;

class HOVERPAD_EXPORT UserControl1 : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
public:
    enum pslClickReason { pslReasonMouse = 0, pslReasonAccessKey = 1, pslReasonKeyboard = 2 };
    Q_ENUM(pslClickReason)

    explicit UserControl1(QWidget *parent = nullptr);
    QString Caption() const;
    void setCaption(const QString &caption);

signals:
    void Click(int ClickReason);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QLabel *lblCaption;
    QString m_caption;
};
