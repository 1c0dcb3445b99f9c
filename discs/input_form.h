#pragma once
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

#include "data/shop/discrecords.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class UserControl1;

// Disc entry window: registers new discs ("碟片登记") or corrects one ("输入纠正").
class input_Form : public QWidget
{
    Q_OBJECT
public:
    explicit input_Form(QWidget *parent = nullptr);

    // A new correction window for the disc, loaded and shown inside the main window (or on
    // its own when there is none). A disc that cannot be loaded is reported and no window
    // opens: the result is then null. A successful submit sets the list reload flag and
    // closes the window.
    static input_Form *openForCorrection(qint64 discId);

    // The one new-entry window of the main window, created on first use.
    static input_Form *openShared();

    // Replaces the file-open dialog (tests): gets the title, the start file and the
    // filter, returns the chosen file or empty for cancel.
    using FileChooser = std::function<QString(QWidget *parent, const QString &title, const QString &start,
                                              const QString &filter)>;
    static void setFileChooser(FileChooser chooser);

    static QString correctionCaption() { return QStringLiteral("输入纠正"); }
    bool isCorrection() const { return windowTitle() == correctionCaption(); }

    // The text fields in tab order, by their index in the field array.
    static const QList<int> &fieldIndexes();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A correction window shows the number of its disc, never the next free one.
    enum class Purpose { NewEntry, Correction };
    input_Form(Purpose purpose, QWidget *parent);

    void build();
    void buildField(int index, int labelIndex, const QString &label, int left, int top, int width, int maxLength,
                    const QString &designText, bool labelRight = false);
    void setUpCorrection(qint64 discId);
    bool loadDisc(qint64 discId);

    QString fieldText(int index) const;
    void setFieldText(int index, const QString &text);
    QWidget *field(int index) const { return m_fields.value(index); }
    void emptyFields();
    db::DiscFields collectFields() const;
    void showNextNumber();

    void enterField(int index);
    void checkCountField();
    void comboChosen(int item);

    void chooseCover();
    // Shows the picture of the file; returns why it cannot, or empty.
    QString showPicture(const QString &path);
    void clearPicture();
    QString imageTag() const;
    void setImageTag(const QString &tag);

    void resetClicked();
    void submitClicked();
    void listClicked();
    void copyClicked();
    bool addDisc();
    bool titleFilled(const QString &message);
    bool countValid();

    QGroupBox *m_frame = nullptr;
    QHash<int, QWidget *> m_fields;
    QLabel *m_number = nullptr;
    QTabWidget *m_tab = nullptr;
    QLabel *m_label2 = nullptr;
    QFrame *m_picture = nullptr;
    QLabel *m_image = nullptr;
    QLineEdit *m_text2 = nullptr;
    QLabel *m_label3 = nullptr;
    QComboBox *m_combo = nullptr;
    QList<UserControl1 *> m_buttons;
    QString m_dialogFileName; // the dialog keeps its file name while the window lives
    qint64 m_discId = 0;      // the window's tag in correction mode
    QString m_loadedFrom;     // the data file the disc in the window was read from
    bool m_checkPending = false;
    QPointer<QWidget> m_returningTo; // a field getting the focus back from its drop-down
};
