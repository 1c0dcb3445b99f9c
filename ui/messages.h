#pragma once
#include <functional>
#include <QList>
#include <QString>

class QWidget;

namespace msg {

// Application title shown on boxes that carry no title of their own.
QString applicationTitle();

// OK-only box without icon under the application title.
void information(QWidget *parent, const QString &text);

// OK-only box shown while `work` runs on a thread of its own, closing itself when the work
// is done: for news that must not hold up what goes on (the program's exit). Returns when
// the work is done, whenever the box is closed. Recorded as an Information box.
void notice(QWidget *parent, const QString &text, const std::function<void()> &work);

// OK/Cancel box with the given title; true only for OK.
bool confirm(QWidget *parent, const QString &text, const QString &title);

// While a Recorder lives, boxes are not shown: their texts are recorded and the
// recorder answers for the user, so tests never block on a modal box.
class Recorder
{
public:
    struct Box
    {
        enum Kind { Information, Confirm } kind;
        QString text;
        QString title;
    };

    Recorder();
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    void setNextAnswer(bool ok) { m_answers.append(ok); } // for the next confirm; default OK
    const QList<Box> &boxes() const { return m_boxes; }
    QStringList texts() const;
    QString lastText() const { return m_boxes.isEmpty() ? QString() : m_boxes.last().text; }
    void clear() { m_boxes.clear(); }

private:
    friend void information(QWidget *, const QString &);
    friend void notice(QWidget *, const QString &, const std::function<void()> &);
    friend bool confirm(QWidget *, const QString &, const QString &);
    QList<Box> m_boxes;
    QList<bool> m_answers;
    Recorder *m_previous = nullptr;
};

} // namespace msg
