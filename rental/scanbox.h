#pragma once
#include <QWidget>

class QLabel;
class QLineEdit;

namespace rental {

// The scan line of a counter window: "扫描碟片编号", the box a barcode scanner types into
// (the number, then Enter), and one line saying what the last scan did. A refusal is said
// on that line with a beep, never in a box that would take the focus: the next scan works
// at once.
class ScanBox : public QWidget
{
    Q_OBJECT
public:
    explicit ScanBox(QWidget *parent = nullptr);

    QLineEdit *edit() const { return m_edit; }
    void note(const QString &text);
    void refuse(const QString &text);
    // The line says nothing: what it said belonged to a list that is gone.
    void clearNote() { note(QString()); }

signals:
    // What was typed before Enter; the box is empty again by then.
    void scanned(const QString &typed);

private:
    QLineEdit *m_edit = nullptr;
    QLabel *m_message = nullptr;
};

} // namespace rental
