#include <QTest>

#include "data/search/discfilter.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

Q_DECLARE_METATYPE(db::DiscFilter)

class TestDiscFilter : public QObject
{
    Q_OBJECT
private slots:
    void selects_data();
    void selects();
};

void TestDiscFilter::selects_data()
{
    QTest::addColumn<db::DiscFilter>("filter");
    QTest::addColumn<QList<qint64>>("ids"); // newest first

    auto f = [](auto set) { db::DiscFilter d; set(d); return d; };
    QTest::newRow("nothing: every disc") << db::DiscFilter{} << QList<qint64>{7, 6, 5, 4, 3, 2, 1};
    QTest::newRow("one character anywhere") << f([](auto &d) { d.title = "传"; }) << QList<qint64>{2, 1};
    QTest::newRow("letter case ignored") << f([](auto &d) { d.title = "matrix"; }) << QList<qint64>{3};
    QTest::newRow("percent is literal") << f([](auto &d) { d.title = "100%"; }) << QList<qint64>{4};
    QTest::newRow("underscore is literal") << f([](auto &d) { d.title = "a_b"; }) << QList<qint64>{5};
    QTest::newRow("backslash is literal") << f([](auto &d) { d.title = "c\\d"; }) << QList<qint64>{6};
    QTest::newRow("media whole value") << f([](auto &d) { d.media = "DVD"; }) << QList<qint64>{3, 1};
    QTest::newRow("media part is not enough") << f([](auto &d) { d.media = "DV"; }) << QList<qint64>{};
    QTest::newRow("media and country") << f([](auto &d) { d.media = "dvd"; d.country = "中国"; }) << QList<qint64>{1};
    QTest::newRow("starring and director parts")
        << f([](auto &d) { d.starring = "周"; d.director = "张"; }) << QList<qint64>{2};
    QTest::newRow("on the shelf") << f([](auto &d) { d.state = db::RentalState::OnShelf; })
                                  << QList<qint64>{7, 6, 5, 4, 3, 1};
    QTest::newRow("out") << f([](auto &d) { d.state = db::RentalState::Out; }) << QList<qint64>{2};
    QTest::newRow("number wins over the texts") << f([](auto &d) { d.number = 3; d.title = "传"; })
                                                << QList<qint64>{3};
    QTest::newRow("number keeps the state") << f([](auto &d) { d.number = 2; d.state = db::RentalState::OnShelf; })
                                            << QList<qint64>{};
    QTest::newRow("number of a free slot") << f([](auto &d) { d.number = 8; }) << QList<qint64>{};
}

void TestDiscFilter::selects()
{
    QFETCH(db::DiscFilter, filter);
    QFETCH(QList<qint64>, ids);
    ProgramFolder folder;
    folder.exec("INSERT INTO table1 (t13,t18,t10,t14,t11) VALUES ('新传说','DVD','中国','刘','李')");
    folder.exec("INSERT INTO table1 (t13,t18,t10,t14,t11,s1,s3) VALUES ('传奇','VCD','中国','周星','张艺','2026-03-01','王')");
    folder.exec("INSERT INTO table1 (t13,t18,t10) VALUES ('The Matrix','dvd','美国')");
    folder.exec("INSERT INTO table1 (t13) VALUES ('100% 纯')");
    folder.exec("INSERT INTO table1 (t13) VALUES ('a_b')");
    folder.exec("INSERT INTO table1 (t13) VALUES ('c\\d 100')");
    folder.exec("INSERT INTO table1 (t13) VALUES ('axb 1000')");
    folder.exec("INSERT INTO table1 DEFAULT VALUES"); // free slot 8

    auto page = db::ReadPage(db::DiscFilterQuery(filter), 1, 30);
    QVERIFY2(page.ok(), qPrintable(page.error()));
    QList<qint64> got;
    for (const QVariantList &row : page->rows)
        got << row.first().toLongLong();
    QCOMPARE(got, ids);
    QCOMPARE(page->recordCount, qint64(ids.size()));
}

QTEST_GUILESS_MAIN(TestDiscFilter)
#include "tst_discfilter.moc"
