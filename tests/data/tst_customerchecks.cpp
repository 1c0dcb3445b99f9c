#include <QTest>

#include "data/shop/customerchecks.h"

namespace {
const QString kBelow = QStringLiteral("请填入数字，如100！\r\n不填请保持空格。");
const QString kAbove = QStringLiteral("请填入填入数字，如100！\r\n不填请保持空格。");
const QString kCard = QStringLiteral("身份证号码不正确！\r\n不填请保持空格。");
} // namespace

class TestCustomerChecks : public QObject
{
    Q_OBJECT
private slots:
    void deposit_data();
    void deposit();
    void identityCard_data();
    void identityCard();
};

void TestCustomerChecks::deposit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("100") << "100" << QString();
    QTest::newRow("blanks around") << "  100 " << QString();
    QTest::newRow("empty") << "" << QString();
    QTest::newRow("letter O") << "1O0" << kAbove;
    QTest::newRow("minus") << "-5" << kBelow;
    QTest::newRow("blank inside") << "1 0" << kBelow;
    QTest::newRow("Chinese") << "一百" << kBelow;
    QTest::newRow("full-width digit") << "１００" << kBelow;
    QTest::newRow("first offender decides") << "1-a" << kBelow;
}

void TestCustomerChecks::deposit()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QCOMPARE(db::DepositProblem(text), message);
}

void TestCustomerChecks::identityCard_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("passes");
    QTest::newRow("15 digits, 85-02-30") << "110101850230123" << true;
    QTest::newRow("15 digits, year 29") << "110101290230123" << false;
    QTest::newRow("15 digits, year 92") << "110101920101123" << true;
    QTest::newRow("15 digits, year 93") << "110101930101123" << false;
    QTest::newRow("15 digits, month 13") << "110101851301123" << false;
    QTest::newRow("15 digits, day 0") << "110101850100123" << false;
    QTest::newRow("18 digits, 1985-02-28") << "110101198502281234" << true;
    QTest::newRow("18 digits, year 2000") << "110101200001011234" << false;
    QTest::newRow("18 digits, year 1930") << "110101193001011234" << true;
    QTest::newRow("18 digits, day 32") << "110101198501321234" << false;
    QTest::newRow("18 digits ending in X") << "11010119850228123X" << false;
    QTest::newRow("17 digits") << "11010119850228123" << false;
    QTest::newRow("full-width digits") << "１１０１０１８５０２３０１２３" << false;
    QTest::newRow("empty") << "" << true;
}

void TestCustomerChecks::identityCard()
{
    QFETCH(QString, text);
    QFETCH(bool, passes);
    QCOMPARE(db::IdentityCardProblem(text), passes ? QString() : kCard);
}

QTEST_GUILESS_MAIN(TestCustomerChecks)
#include "tst_customerchecks.moc"
