#include "support/typing.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

namespace testsupport {
namespace {

void selectAll(QWidget *box)
{
    if (auto *e = qobject_cast<QLineEdit *>(box))
        e->selectAll();
    else if (auto *p = qobject_cast<QPlainTextEdit *>(box))
        p->selectAll();
}

void commit(QWidget *box, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(box, &event);
}

} // namespace

QString TextOf(const QWidget *box)
{
    if (auto *e = qobject_cast<const QLineEdit *>(box))
        return e->text();
    if (auto *p = qobject_cast<const QPlainTextEdit *>(box))
        return p->toPlainText();
    return {};
}

void Enter(QWidget *box, const QString &text, Entry how)
{
    box->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    selectAll(box);
    QTest::keyClick(box, Qt::Key_Delete);
    if (how == Entry::Pasted) {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        return;
    }
    QString keys;
    auto flush = [&] {
        if (!keys.isEmpty())
            QTest::keyClicks(box, keys);
        keys.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f) {
            keys += c;
            continue;
        }
        flush();
        // A surrogate pair is one character and arrives in one commit.
        const qsizetype n = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        commit(box, text.mid(i, n));
        i += n - 1;
    }
    flush();
}

} // namespace testsupport
