#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "ui/fieldcheck.h"
#include "ui/messages.h"

namespace {
QString noX(const QString &text)
{
    return text.contains('x') ? QStringLiteral("不能有x！") : QString();
}
} // namespace

class TestFieldCheck : public QObject
{
    Q_OBJECT
private slots:
    void leavingChecks_data();
    void leavingChecks();
    void comboTextIsChecked();
};

void TestFieldCheck::leavingChecks_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<bool>("reported");
    QTest::newRow("fine") << "abc" << false << false;
    QTest::newRow("blanks only are not checked") << "   " << false << false;
    QTest::newRow("failing") << "abxcdefghijklmnopqrstuvwxyz" << false << true;
    QTest::newRow("disabled is not checked") << "x" << true << false;
}

void TestFieldCheck::leavingChecks()
{
    QFETCH(QString, typed);
    QFETCH(bool, disabled);
    QFETCH(bool, reported);
    msg::Recorder boxes;
    QWidget w;
    auto *layout = new QVBoxLayout(&w);
    auto *checked = new QLineEdit;
    auto *next = new QLineEdit;
    layout->addWidget(checked);
    layout->addWidget(next);
    ui::CheckOnLeave(checked, noX);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    checked->setFocus();
    QTest::keyClicks(checked, typed);
    checked->setEnabled(!disabled);
    QTest::keyClick(disabled ? next : checked, Qt::Key_Tab);
    if (disabled)
        next->setFocus();
    QTest::qWait(20);
    QCOMPARE(boxes.texts(), reported ? QStringList{"不能有x！"} : QStringList{});
    if (reported) {
        QTRY_VERIFY(checked->hasFocus());
        QCOMPARE(checked->selectedText(), typed.left(20));
    }
}

void TestFieldCheck::comboTextIsChecked()
{
    msg::Recorder boxes;
    QWidget w;
    auto *layout = new QVBoxLayout(&w);
    auto *box = new QComboBox;
    box->setEditable(true);
    box->addItems({"1", "2"});
    box->setCurrentIndex(-1);
    auto *next = new QLineEdit;
    layout->addWidget(box);
    layout->addWidget(next);
    ui::CheckOnLeave(box, noX);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    box->setFocus();
    QTest::keyClicks(box, "1x");
    QTest::keyClick(box, Qt::Key_Tab);
    QTRY_COMPARE(boxes.texts(), QStringList{"不能有x！"});
    QTRY_VERIFY(box->hasFocus());
    QCOMPARE(box->lineEdit()->selectedText(), QStringLiteral("1x"));
}

QTEST_MAIN(TestFieldCheck)
#include "tst_fieldcheck.moc"
