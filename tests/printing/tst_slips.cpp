// Rental and return slips: what is read back from the file after a rental and a return,
// and the PDF of each paper width holding its rows (read with pdftotext).
#include <QtTest>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "data/shop/quickreturns.h"
#include "data/shop/rentals.h"
#include "data/shop/returns.h"
#include "data/shop/slips.h"
#include "data/store/programdir.h"
#include "printing/slip.h"
#include "support/programfolder.h"

namespace {

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("<pdftotext failed: %1>").arg(QString::fromUtf8(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

// pdftotext keeps no blank between Chinese characters and one digit: rows are compared
// without blanks.
QString squeezed(QString s)
{
    return s.remove(QRegularExpression(QStringLiteral("\\s+")));
}

} // namespace

class TestSlips : public QObject
{
    Q_OBJECT
private slots:
    void rentalThenReturn_data();
    void rentalThenReturn();
};

void TestSlips::rentalThenReturn_data()
{
    QTest::addColumn<QString>("paper");
    QTest::newRow("58 mm") << "58";
    QTest::newRow("80 mm") << "80";
    QTest::newRow("A5") << "a5";
}

void TestSlips::rentalThenReturn()
{
    QFETCH(QString, paper);
    testsupport::ProgramFolder f;
    QTemporaryDir dir;
    db::Session::setCurrentUser(QStringLiteral("店员小王"));
    const qint64 big = (qint64(1) << 40) + 9;
    f.exec(QStringLiteral("INSERT INTO table1 (id, t13, t7) VALUES (5, '无间道', 1), (?, '英雄', 2)"), {big});
    db::RentalRequest r;
    r.name = QStringLiteral("张三");
    r.deposit = QStringLiteral("100");
    r.discs = {{5, QStringLiteral("无间道")}, {big, QStringLiteral("英雄")}};
    auto customer = db::CommitRental(r);
    QVERIFY2(customer.ok(), qPrintable(customer.error()));

    auto rented = db::RentalSlip(*customer, {5, big});
    QVERIFY(rented.ok());
    QCOMPARE(rented->discs.size(), 2);
    QCOMPARE(rented->depositTaken, 100);
    const printing::SlipPaper &p = printing::SlipPaperByKey(paper);
    const QStringList rows = printing::SlipRows(*rented, QStringLiteral("澜岚影碟"));
    const QString pdf = dir.filePath(QStringLiteral("rent.pdf"));
    QVERIFY(printing::WriteSlipPdf(pdf, p, rows).ok());
    const QString text = squeezed(pdfText(pdf));
    const QString number = QStringLiteral("%1").arg(*customer, 6, 10, QLatin1Char('0'));
    for (const QString &row : {QStringLiteral("澜岚影碟"), QStringLiteral("租碟单"),
                               QStringLiteral("日期：%1").arg(testsupport::Today().toString(Qt::ISODate)),
                               QStringLiteral("客户：%1 张三").arg(number), QStringLiteral("000005 无间道"),
                               QStringLiteral("%1 英雄").arg(big), QStringLiteral("共 2 张"),
                               QStringLiteral("押金收取：100 元"), QStringLiteral("经手人：店员小王")})
        QVERIFY2(text.contains(squeezed(row)), qPrintable(row + QStringLiteral(" not in: ") + text));

    // The return of one disc, with the deposit refunded: one slip for the customer.
    QVERIFY(db::RefundDeposit(*customer).ok());
    const qint64 record = f.scalar(QStringLiteral("SELECT id FROM table4 WHERE discid = ?"), {big}).toLongLong();
    auto back = db::QuickReturn({record});
    QVERIFY(back.ok());
    auto slips = db::ReturnSlips(back->returned);
    QVERIFY(slips.ok());
    QCOMPARE(slips->size(), 1);
    QCOMPARE(slips->first().depositRefunded, 100);
    const QString returnPdf = dir.filePath(QStringLiteral("return.pdf"));
    QVERIFY(printing::WriteSlipPdf(returnPdf, p, printing::SlipRows(slips->first(), QStringLiteral("澜岚影碟"))).ok());
    const QString returned = squeezed(pdfText(returnPdf));
    for (const QString &row : {QStringLiteral("还碟单"), QStringLiteral("%1 英雄").arg(big), QStringLiteral("共 1 张"),
                               QStringLiteral("押金退还：100 元")})
        QVERIFY2(returned.contains(squeezed(row)), qPrintable(row + QStringLiteral(" not in: ") + returned));
    QVERIFY(!returned.contains(QStringLiteral("无间道")));
    db::Session::setCurrentUser(QString());
}

QTEST_MAIN(TestSlips)
#include "tst_slips.moc"
