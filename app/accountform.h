#pragma once
#include <QPointer>
#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class UserControl1;

// The layout both account windows share: four labelled fields and the button "更改".
// A click into the fourth field (the repeat) empties it, hint or not.
class AccountForm : public QWidget
{
    Q_OBJECT
protected:
    // labels: the four captions; masked: which fields show "*"; hint: initial repeat text.
    AccountForm(QWidget *parent, const QString &objectName, const QString &title, const QStringList &labels,
                const QList<bool> &masked, const QString &hint = {});

    // The one window of kind W, created over the main window on first use.
    template <typename W>
    static W *showOne(QPointer<W> &window)
    {
        if (!window)
            window = new W(mainWindow());
        placeAndShow(window);
        return window;
    }

    bool eventFilter(QObject *watched, QEvent *event) override;
    virtual void button1_Click() = 0;

    QLabel *Label1_0, *Label1_1, *Label1_2, *Label1_3;
    QLineEdit *Text1, *Text2, *Text3, *Text4;
    UserControl1 *button1;

private:
    static QWidget *mainWindow();
    static void placeAndShow(QWidget *w);
};
