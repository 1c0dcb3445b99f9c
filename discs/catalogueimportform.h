#pragma once
#include <QWidget>

#include "data/shop/catalogueimport.h"

class QLabel;
class QPlainTextEdit;
class QTableWidget;
class UserControl1;

// 导入碟片目录: the clerk picks a CSV file, sees its encoding, its first lines and every
// line with a problem, then imports the good lines in one go or closes without importing.
class CatalogueImportForm : public QWidget
{
    Q_OBJECT
public:
    explicit CatalogueImportForm(QWidget *parent = nullptr);

    // Reads and checks the file and shows the preview; false (reported) when it cannot be read.
    bool openFile(const QString &path);
    // Imports the good lines of the file shown, with a progress dialog that can stop it.
    // Returns the discs stored; -1 when nothing was (reported).
    qint64 importLines();

    static constexpr int kPreviewRows = 200;

private:
    void chooseFile();

    db::CatalogueFile m_file;
    bool m_loaded = false;
    QLabel *m_path;
    QLabel *m_encoding;
    QLabel *m_summary;
    QTableWidget *m_preview;
    QPlainTextEdit *m_problems;
    UserControl1 *m_import;
};
