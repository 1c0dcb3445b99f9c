#pragma once
#include <QList>

#include "data/search/discfilter.h"
#include "ui/pagedlistform.h"

class QComboBox;
class QLineEdit;
class UserControl1;

// The rentable-disc picker ("可租碟片列表"): discs in the catalogue and on the shelf, narrowed
// by the filter column at the right. "出    租" adds the whole rows selected to the pre-rent
// list of the rental window.
class list_Form2 : public ui::PagedListForm
{
    Q_OBJECT
public:
    explicit list_Form2(QWidget *parent = nullptr);

    static QString caption() { return QStringLiteral("可租碟片列表"); }
    // The rental window's own picker, created on first use, reloaded and brought to the front.
    static list_Form2 *openShared();
    // A picker of its own (menu), loaded and shown.
    static list_Form2 *openNew();

    // The filter the controls hold now; false (and a message for the clerk) when the disc
    // number is not a whole number.
    bool readFilter(db::DiscFilter &filter, QString *problem) const;
    const db::DiscFilter &filter() const { return m_filter; }

protected:
    db::PagedQuery query() const override;
    QStringList cells(const QVariantList &row) const override;
    bool prepareLoad(LoadCause cause) override;
    void openRecord(qint64 id) override;
    void button2Clicked() override;

private:
    void build();
    bool takeFilterFromControls();
    void queryClicked();

    QLineEdit *m_number = nullptr;
    QLineEdit *m_title = nullptr;
    QList<QComboBox *> m_boxes;
    UserControl1 *m_query = nullptr;
    db::DiscFilter m_filter;
};

// The message for a disc number that is not a whole number.
QString DiscNumberFilterMessage();
