#pragma once
#include <QList>
#include <QWidget>

#include "printing/labelsheet.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QSpinBox;

namespace printing {

// Label window ("打印碟片标签"): the labels of the discs chosen in a list, of a range of
// disc numbers, or of customer cards, printed through the system's printers (with a
// preview) or saved as PDF.
class labels_Form : public QWidget
{
    Q_OBJECT
public:
    enum class Source { Discs, Range, Customers };
    labels_Form(Source source, const QList<qint64> &ids, QWidget *parent = nullptr);

    // The labels the window would print now, read from the file; the failure says why.
    db::Result<LabelJob> job() const;
    // Saves the labels as a PDF file, with the progress dialog; the outcome is reported.
    bool saveAsPdf(const QString &path);

private:
    void previewClicked();
    void printClicked();
    void pdfClicked();
    void print(QPrinter *printer, const LabelJob &job);

    Source m_source;
    QList<qint64> m_ids;
    QLineEdit *m_from = nullptr;
    QLineEdit *m_to = nullptr;
    QComboBox *m_layout = nullptr;
    QSpinBox *m_first = nullptr;
    QLabel *m_count = nullptr;
};

} // namespace printing
