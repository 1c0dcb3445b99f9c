// What the hostile-input tests share: finding boxes and buttons, the corpus made for a
// box's limit, the data rows of a corpus test and the check of what a box holds.
#pragma once
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "hoverpad/usercontrol1.h"
#include "support/hostileinput.h"
#include "support/typing.h"
#include "ui/textlimit.h"

Q_DECLARE_METATYPE(testsupport::Entry)

namespace hostile {

using testsupport::Entry;
using testsupport::HostileText;

inline QWidget *box(QWidget *w, const QString &name)
{
    auto *b = w->findChild<QWidget *>(name);
    if (!b)
        qFatal("no box %s", qPrintable(name));
    // An editable selection box is typed into through its line edit.
    if (auto *combo = qobject_cast<QComboBox *>(b); combo && combo->lineEdit())
        return combo->lineEdit();
    return b;
}

inline void click(QWidget *w, const QString &name)
{
    auto *b = w->findChild<UserControl1 *>(name);
    if (!b)
        qFatal("no button %s", qPrintable(name));
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    QApplication::processEvents();
}

// Brings the window back to the front, as the clerk clicking into it does; focus moves
// inside a window that is not active are no leaving.
inline void activate(QWidget *w)
{
    QApplication::setActiveWindow(w->window());
    QApplication::processEvents();
}

// The corpus entry of that name as made for a box with that limit.
inline HostileText corpusEntry(const QString &name, int limit)
{
    for (const HostileText &t : testsupport::HostileTexts(limit)) {
        if (t.name == name)
            return t;
    }
    qFatal("no corpus entry %s", qPrintable(name));
    return {};
}

inline QString corpusText(const QString &name, int limit)
{
    return corpusEntry(name, limit).text;
}

// One row per corpus entry and way of entering it (long texts are only pasted).
inline void corpusRows(int limit)
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<Entry>("how");
    for (const HostileText &t : testsupport::HostileTexts(limit)) {
        if (t.typable)
            QTest::newRow(qPrintable(t.name + QStringLiteral(", typed"))) << t.name << Entry::Typed;
        QTest::newRow(qPrintable(t.name + QStringLiteral(", pasted"))) << t.name << Entry::Pasted;
    }
}

// Empty when the box holds what the clerk entered, as its limit allows.
inline QString boxProblem(QWidget *b, const QString &entered, Entry how)
{
    const QString held = testsupport::TextOf(b);
    const int limit = ui::LengthLimit(b);
    if (limit <= 0)
        return QStringLiteral("%1 has no whole-character limit").arg(b->objectName());
    if (!testsupport::HasWholeCharactersOnly(held))
        return QStringLiteral("half a character in ") + b->objectName();
    if (held.size() > limit)
        return QStringLiteral("over the limit in ") + b->objectName();
    if (how == Entry::Pasted && !testsupport::CutAtWholeCharacterOf(held, entered, limit))
        return QStringLiteral("%1 holds %2 units of %3, not the whole-character cut at %4")
            .arg(b->objectName()).arg(held.size()).arg(entered.size()).arg(limit);
    if (how == Entry::Typed && entered.size() <= limit && held != entered)
        return QStringLiteral("%1 does not hold what was typed").arg(b->objectName());
    return {};
}

// Enters the corpus entry made for the box's limit; long texts are pasted. Returns what
// was entered, or fails the test when the box does not hold it as its limit allows.
inline QString enterEntry(QWidget *b, const QString &entry, Entry how, bool *ok)
{
    const HostileText t = corpusEntry(entry, ui::LengthLimit(b) > 0 ? ui::LengthLimit(b) : ui::kLineTextLimit);
    const Entry way = t.typable ? how : Entry::Pasted;
    testsupport::Enter(b, t.text, way);
    const QString problem = boxProblem(b, t.text, way);
    *ok = problem.isEmpty();
    if (!*ok)
        qWarning("%s", qPrintable(problem));
    return t.text;
}

// Letter case of A-Z ignored, as the filters and SQLite's lower() fold it.
inline QString asciiFolded(const QString &s)
{
    QString out = s;
    for (QChar &c : out) {
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + 32);
    }
    return out;
}

} // namespace hostile
