#include <QTest>

#include "data/store/connection.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

class TestLookupLists : public QObject
{
    Q_OBJECT
private slots:
    void loadSkipsEmptyAndTrims();
    void loadKeepsListWhenColumnHasNoValues();
    void loadTakesAtMostCapacity();
    void addIfNew_data();
    void addIfNew();
    void fullListRefusesNewValue();
    void valueInFileNotWrittenAgain_data();
    void valueInFileNotWrittenAgain();
};

void TestLookupLists::loadSkipsEmptyAndTrims()
{
    ProgramFolder folder;
    folder.exec("INSERT INTO table3 (s2, s6) VALUES ('动作', '中国')");
    folder.exec("INSERT INTO table3 (s2) VALUES ('')");
    folder.exec("INSERT INTO table3 (s2, s11) VALUES (NULL, 'DVD')");
    folder.exec("INSERT INTO table3 (s2) VALUES ('  喜剧  ')");
    QVERIFY(db::LoadLookupLists().ok());
    QCOMPARE(db::Lookups().ContentList.entries(), QStringList({"动作", "喜剧"}));
    QCOMPARE(db::Lookups().ContentList.count(), 2);
    QCOMPARE(db::Lookups().CountryList.entries(), QStringList({"中国"}));
    QCOMPARE(db::Lookups().MediaList.entries(), QStringList({"DVD"}));
    QCOMPARE(db::Lookups().StarringList.count(), 0);
}

void TestLookupLists::loadKeepsListWhenColumnHasNoValues()
{
    ProgramFolder folder;
    folder.exec("INSERT INTO table3 (s2, s3) VALUES ('动作', '金卡')");
    folder.exec("INSERT INTO table3 (s3) VALUES ('银卡')", {}, true);
    QVERIFY(db::LoadLookupLists().ok());
    db::DemoData::setEnabled(true);
    QVERIFY(db::LoadLookupLists().ok());
    QCOMPARE(db::Lookups().ContentList.entries(), QStringList({"动作"}));
    QCOMPARE(db::Lookups().CardTypeList.entries(), QStringList({"银卡"}));
}

void TestLookupLists::loadTakesAtMostCapacity()
{
    ProgramFolder folder;
    for (int i = 1; i <= 105; ++i)
        folder.exec("INSERT INTO table3 (s9) VALUES (?)", {QStringLiteral("柜%1").arg(i)});
    QVERIFY(db::LoadLookupLists().ok());
    QCOMPARE(db::Lookups().ShelfList.count(), 100);
    QCOMPARE(db::Lookups().ShelfList.at(100), QStringLiteral("柜100"));
}

void TestLookupLists::addIfNew_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QStringList>("listAfter");
    QTest::newRow("already there") << "中国" << true << QStringList{"中国", "DVD"};
    QTest::newRow("new value appended") << "香港" << true << QStringList{"中国", "DVD", "香港"};
    // Blanks around a typed value never make it a second entry of the same text.
    QTest::newRow("leading blank matches its trimmed twin") << " 中国" << true << QStringList{"中国", "DVD"};
    QTest::newRow("blanks around a new value") << "  香港 " << true << QStringList{"中国", "DVD", "香港"};
    QTest::newRow("blank only") << "   " << true << QStringList{"中国", "DVD"};
    QTest::newRow("other case, exact match") << "dvd" << true << QStringList{"中国", "DVD", "dvd"};
    QTest::newRow("other case, ignoring case") << "dvd" << false << QStringList{"中国", "DVD"};
}

void TestLookupLists::addIfNew()
{
    QFETCH(QString, typed);
    QFETCH(bool, caseSensitive);
    QFETCH(QStringList, listAfter);
    ProgramFolder folder;
    folder.exec("INSERT INTO table3 (s6) VALUES ('中国')");
    folder.exec("INSERT INTO table3 (s6) VALUES ('DVD')");
    QVERIFY(db::LoadLookupLists().ok());
    const int rowsBefore = folder.scalar("SELECT count(*) FROM table3").toInt();

    db::Connection c;
    const auto added = db::AddIfNew(c, db::Lookups(), db::Lookup::Country, typed,
                                    caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    QVERIFY2(added.ok(), qPrintable(added.error()));
    QCOMPARE(db::Lookups().CountryList.entries(), listAfter);

    const bool grew = listAfter.size() > 2;
    QCOMPARE(added.value(), grew);
    QCOMPARE(folder.scalar("SELECT count(*) FROM table3").toInt(), rowsBefore + (grew ? 1 : 0));
    if (grew) {
        // The new row carries only its own column, trimmed.
        const auto row = folder.rows("SELECT s2, s3, s6, s8, s9, s11, s13 FROM table3 ORDER BY id DESC LIMIT 1");
        QCOMPARE(row[0][2].toString(), typed.trimmed());
        for (int i : {0, 1, 3, 4, 5, 6})
            QVERIFY(row[0][i].isNull());
    }
}

void TestLookupLists::fullListRefusesNewValue()
{
    ProgramFolder folder;
    for (int i = 1; i <= 100; ++i)
        folder.exec("INSERT INTO table3 (s13) VALUES (?)", {QStringLiteral("演员%1").arg(i)});
    QVERIFY(db::LoadLookupLists().ok());
    db::Connection c;
    const auto added = db::AddIfNew(c, db::Lookups(), db::Lookup::Starring, QStringLiteral("新人"));
    QVERIFY(added.ok());
    QVERIFY(!added.value());
    QCOMPARE(db::Lookups().StarringList.count(), 100);
    QCOMPARE(folder.scalar("SELECT count(*) FROM table3").toInt(), 100);
}

void TestLookupLists::valueInFileNotWrittenAgain_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("added");
    QTest::newRow("same text") << "中国" << "中国" << int(db::Lookup::Country) << false;
    QTest::newRow("stored with blanks") << " 中国 " << "中国" << int(db::Lookup::Country) << false;
    QTest::newRow("other case is another media") << "DVD" << "dvd" << int(db::Lookup::Media) << true;
    QTest::newRow("other case is the same card type") << "Gold" << "GOLD" << int(db::Lookup::CardType) << false;
}

// The list in memory may lack what the file holds (it could not be loaded at start-up);
// the file is not given the value a second time.
void TestLookupLists::valueInFileNotWrittenAgain()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(int, which);
    QFETCH(bool, added);
    ProgramFolder folder;
    const auto list = db::Lookup(which);
    const QString col = db::LookupColumn(list);
    folder.exec(QStringLiteral("INSERT INTO table3 (%1) VALUES (?)").arg(col), {stored});
    db::Connection c;
    const auto result = db::AddIfNew(c, db::Lookups(), list, typed, db::LookupCase(list));
    QVERIFY2(result.ok(), qPrintable(result.error()));
    QCOMPARE(result.value(), added);
    QCOMPARE(folder.scalar(QStringLiteral("SELECT count(*) FROM table3 WHERE %1 IS NOT NULL").arg(col)).toInt(), added ? 2 : 1);
}

QTEST_GUILESS_MAIN(TestLookupLists)
#include "tst_lookuplists.moc"
