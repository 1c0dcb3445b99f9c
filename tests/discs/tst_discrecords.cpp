#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "data/store/clock.h"
#include "data/shop/discrecords.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "data/store/records.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;
using testsupport::Today;

namespace {

db::DiscFields titled(const QString &title)
{
    db::DiscFields f;
    f.title = title;
    return f;
}

qint64 add(const db::DiscFields &f)
{
    auto r = db::AddDisc(f);
    if (!r)
        qWarning("AddDisc: %s", qPrintable(r.error()));
    return r ? r.value() : -1;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Not a real picture: the data layer stores bytes and never decodes them.
QByteArray someBytes(char seed)
{
    QByteArray b("\xFF\xD8\xFF\xE0", 4);
    for (int i = 0; i < 300; ++i)
        b.append(char(seed + i));
    b.append('\0');
    b.append("tail");
    return b;
}

void rent(const ProgramFolder &pf, qint64 discId, const QString &name, const QVariant &s2, int n = 1)
{
    for (int i = 0; i < n; ++i)
        pf.exec("INSERT INTO table4 (discid, discname, khid, s1, s2) VALUES (?, ?, 1, '2026-03-01', ?)",
                {discId, name, s2});
}

} // namespace

class TestDiscRecords : public QObject
{
    Q_OBJECT
private slots:
    void addFillsLowestFreeSlot();
    void addStoresFieldsTrimmed();
    void updateKeepsColumnsOfEmptyFields_data();
    void updateKeepsColumnsOfEmptyFields();
    void saveDateIsLatestSave();
    void photoPathRules_data();
    void photoPathRules();
    void photoRoundTripUsesOwnScratchFile();
    void missingPhotoFileStoresNothing();
    void lookupValuesAddedIfNew();
    void badCountRefused_data();
    void badCountRefused();
    void emptyTitleRefusedOnAdd();
    void updateOfFreedSlotRefused();
    void quotesAndPercentStoredAsTyped();
    void updateOfDiscOutRefused_data();
    void updateOfDiscOutRefused();
    void rentalState_data();
    void rentalState();
    void loadLeavesEmptyColumnsAbsent();
    void loadOfFreeSlotRefused();
    void deleteBlanksAndMarks();
    void deleteEmptyListChangesNothing();
    void deleteSkipsRenamedTitleRecords();
};

void TestDiscRecords::addFillsLowestFreeSlot()
{
    ProgramFolder pf;
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(add(titled(QStringLiteral("碟%1").arg(i))), qint64(i));
    QCOMPARE(pf.scalar("SELECT count(*) FROM table1 WHERE t13 IS NULL").toInt(), 0);
    QCOMPARE(add(titled("六")), qint64(6));
    QCOMPARE(pf.scalar("SELECT count(*) FROM table1 WHERE t13 IS NULL").toInt(), 0);

    QVERIFY(db::DeleteDiscs({3}).ok());
    QCOMPARE(db::NextDiscId().value(), qint64(3));
    QCOMPARE(add(titled("补三")), qint64(3));
    // The row appended for that add stays free and is the next to be filled.
    QCOMPARE(pf.scalar("SELECT group_concat(id) FROM table1 WHERE t13 IS NULL").toString(), QString("7"));
    QCOMPARE(add(titled("七")), qint64(7));
    QCOMPARE(pf.scalar("SELECT group_concat(id) FROM table1 WHERE t13 IS NULL").toString(), QString("8"));
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = 3").toString(), QString("补三"));
}

void TestDiscRecords::addStoresFieldsTrimmed()
{
    ProgramFolder pf;
    db::DiscFields f;
    f.title = "  英雄 ";
    f.shelf = " A1";
    f.count = " 2 ";
    f.media = "DVD ";
    f.starring = " 李连杰";
    f.director = "张艺谋";
    f.country = "中国";
    f.category = "动作";
    f.remark = " 九成新 ";
    f.synopsis = "  第一行\r\n第二行  ";
    const qint64 id = add(f);
    QCOMPARE(id, qint64(1));
    const auto rows = pf.rows("SELECT t13, t38, t7, t18, t14, t11, t10, t20, t41, t34, img1, s2 FROM table1 WHERE id = 1");
    QCOMPARE(rows.size(), 1);
    const QVariantList expected = {"英雄", "A1", 2, "DVD", "李连杰", "张艺谋", "中国", "动作", "九成新",
                                   "  第一行\r\n第二行  "};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(rows[0][i].toString(), expected[i].toString());
    QCOMPARE(rows[0][2].toInt(), 2);
    QVERIFY(rows[0][10].isNull());
    QCOMPARE(rows[0][11].toString(), Today().toString(Qt::ISODate));
}

void TestDiscRecords::updateKeepsColumnsOfEmptyFields_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("newText");
    QTest::addColumn<QString>("expected");
    // A field left empty or blank keeps the stored value; a typed one replaces it.
    QTest::newRow("remark emptied") << "t41" << "" << "旧备注";
    QTest::newRow("remark blanks") << "t41" << "   " << "旧备注";
    QTest::newRow("remark changed") << "t41" << " 新备注 " << "新备注";
    QTest::newRow("title emptied") << "t13" << "" << "旧名";
    QTest::newRow("count emptied") << "t7" << "" << "3";
    QTest::newRow("count changed") << "t7" << "12" << "12";
    QTest::newRow("synopsis blanks") << "t34" << " \r\n " << " 旧简介 ";
    QTest::newRow("synopsis changed") << "t34" << " 新 " << " 新 ";
    QTest::newRow("country emptied") << "t10" << "" << "美国";
}

void TestDiscRecords::updateKeepsColumnsOfEmptyFields()
{
    QFETCH(QString, column);
    QFETCH(QString, newText);
    QFETCH(QString, expected);
    ProgramFolder pf;
    db::DiscFields f = titled("旧名");
    f.remark = "旧备注";
    f.count = "3";
    f.synopsis = " 旧简介 ";
    f.country = "美国";
    const qint64 id = add(f);

    db::DiscFields change;
    const QHash<QString, QString db::DiscFields::*> fieldOf = {
        {"t41", &db::DiscFields::remark}, {"t13", &db::DiscFields::title}, {"t7", &db::DiscFields::count},
        {"t34", &db::DiscFields::synopsis}, {"t10", &db::DiscFields::country}};
    change.*(fieldOf.value(column)) = newText;
    const db::Status s = db::UpdateDisc(id, change);
    QVERIFY2(s.ok(), qPrintable(s.error()));
    QCOMPARE(pf.scalar(QStringLiteral("SELECT %1 FROM table1 WHERE id = ?").arg(column), {id}).toString(), expected);
    // Columns not typed in this change stay as they were.
    QCOMPARE(pf.scalar("SELECT t10 FROM table1 WHERE id = ?", {id}).toString(),
             column == "t10" ? expected : QString("美国"));
}

void TestDiscRecords::saveDateIsLatestSave()
{
    ProgramFolder pf;
    db::Clock::setFixed(QDateTime(QDate(2026, 1, 2), QTime(9, 0)));
    const qint64 id = add(titled("老片"));
    QCOMPARE(pf.scalar("SELECT s2 FROM table1 WHERE id = ?", {id}).toString(), QString("2026-01-02"));
    db::Clock::setFixed(QDateTime(QDate(2026, 2, 20), QTime(23, 59)));
    QVERIFY(db::UpdateDisc(id, db::DiscFields()).ok());
    QCOMPARE(pf.scalar("SELECT s2 FROM table1 WHERE id = ?", {id}).toString(), QString("2026-02-20"));
}

void TestDiscRecords::photoPathRules_data()
{
    QTest::addColumn<QString>("path");   // relative to the program folder; "" and "none" as they are
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QString>("expected"); // "old", "null" or "new"
    QTest::newRow("empty path keeps") << "" << false << "old";
    QTest::newRow("none removes") << "none" << false << "null";
    QTest::newRow("folder called none stores") << "none/cover.jpg" << true << "new";
    QTest::newRow("file called none.jpg stores") << "pics/none.jpg" << true << "new";
    QTest::newRow("NONE is a file name") << "NONE" << true << "new";
}

void TestDiscRecords::photoPathRules()
{
    QFETCH(QString, path);
    QFETCH(bool, fileExists);
    QFETCH(QString, expected);
    ProgramFolder pf;
    const QByteArray oldBytes = someBytes('a');
    const QByteArray newBytes = someBytes('k');
    db::DiscFields f = titled("有图");
    f.photoPath = writeFile(pf.path() + "/old.jpg", oldBytes);
    const qint64 id = add(f);
    QCOMPARE(pf.scalar("SELECT img1 FROM table1 WHERE id = ?", {id}).toByteArray(), oldBytes);

    db::DiscFields change;
    change.photoPath = path;
    if (fileExists) {
        change.photoPath = pf.path() + "/" + path;
        writeFile(change.photoPath, newBytes);
    }
    const db::Status s = db::UpdateDisc(id, change);
    QVERIFY2(s.ok(), qPrintable(s.error()));
    const QVariant img = pf.scalar("SELECT img1 FROM table1 WHERE id = ?", {id});
    if (expected == "old")
        QCOMPARE(img.toByteArray(), oldBytes);
    else if (expected == "null")
        QVERIFY(img.isNull());
    else
        QCOMPARE(img.toByteArray(), newBytes);
}

void TestDiscRecords::photoRoundTripUsesOwnScratchFile()
{
    ProgramFolder pf;
    const QByteArray bytes = someBytes('x');
    db::DiscFields f = titled("封面");
    f.photoPath = writeFile(pf.path() + "/in.bmp", bytes);
    const qint64 id = add(f);

    auto first = db::LoadDisc(id);
    auto second = db::LoadDisc(id); // same clock second
    QVERIFY(first.ok() && second.ok());
    QCOMPARE(first->photo, bytes);
    QVERIFY(!first->photoFile.isEmpty());
    QVERIFY(first->photoFile != second->photoFile);
    for (const QString &file : {first->photoFile, second->photoFile}) {
        QCOMPARE(QFileInfo(file).absolutePath(), QFileInfo(db::ProgramDir::scratchDir()).absoluteFilePath());
        QVERIFY(file.endsWith("tmp.jpg"));
        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), bytes);
    }
    // Storing a scratch file again (a correction submit) keeps the bytes unchanged.
    db::DiscFields again;
    again.photoPath = second->photoFile;
    QVERIFY(db::UpdateDisc(id, again).ok());
    QCOMPARE(pf.scalar("SELECT img1 FROM table1 WHERE id = ?", {id}).toByteArray(), bytes);

    const qint64 bare = add(titled("无图"));
    auto none = db::LoadDisc(bare);
    QVERIFY(none.ok());
    QVERIFY(none->photo.isEmpty());
    QVERIFY(none->photoFile.isEmpty());
}

void TestDiscRecords::missingPhotoFileStoresNothing()
{
    ProgramFolder pf;
    db::DiscFields f = titled("丢图");
    f.photoPath = pf.path() + "/gone.jpg";
    auto r = db::AddDisc(f);
    QVERIFY(!r.ok());
    QVERIFY(r.error().contains("gone.jpg"));
    QCOMPARE(pf.scalar("SELECT count(*) FROM table1").toInt(), 0);
    QCOMPARE(db::Lookups().CountryList.count(), 0);
}

void TestDiscRecords::lookupValuesAddedIfNew()
{
    ProgramFolder pf;
    pf.exec("INSERT INTO table3 (s6) VALUES ('中国')");
    QVERIFY(db::LoadLookupLists().ok());
    db::DiscFields f = titled("片");
    f.country = "中国";      // already listed
    f.director = "导演甲";
    f.starring = " 主角乙";  // padded: no match, appended trimmed
    f.media = "DVD";
    f.category = "喜剧";
    f.shelf = "B2";
    f.remark = "不入表";
    QCOMPARE(add(f), qint64(1));
    const auto rows = pf.rows("SELECT s2, s6, s8, s9, s11, s13 FROM table3 ORDER BY id");
    // One row per new value, in the order the columns are written.
    const QList<QStringList> expected = {
        {"", "中国", "", "", "", ""},
        {"", "", "导演甲", "", "", ""},
        {"", "", "", "", "", "主角乙"},
        {"", "", "", "", "DVD", ""},
        {"喜剧", "", "", "", "", ""},
        {"", "", "", "B2", "", ""},
    };
    QCOMPARE(rows.size(), expected.size());
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < 6; ++c)
            QCOMPARE(rows[r][c].toString(), expected[r][c]);
    }
    QCOMPARE(db::Lookups().CountryList.entries(), QStringList{"中国"});
    QCOMPARE(db::Lookups().StarringList.entries(), QStringList{"主角乙"});
    QCOMPARE(db::Lookups().ShelfList.entries(), QStringList{"B2"});

    // The same values again add nothing.
    f.starring = "主角乙";
    QCOMPARE(add(f), qint64(2));
    QCOMPARE(pf.scalar("SELECT count(*) FROM table3").toInt(), 6);
}

void TestDiscRecords::badCountRefused_data()
{
    QTest::addColumn<QString>("count");
    QTest::newRow("letter") << "2a";
    QTest::newRow("full-width digit") << "１";
    QTest::newRow("inner blank") << "1 2";
    QTest::newRow("sign") << "-1";
    QTest::newRow("decimal") << "1.5";
    QTest::newRow("too long") << "123456789012";
}

void TestDiscRecords::badCountRefused()
{
    QFETCH(QString, count);
    ProgramFolder pf;
    const qint64 id = add(titled("原片"));
    db::DiscFields f = titled("新片");
    f.count = count;
    f.country = "法国";
    auto r = db::AddDisc(f);
    QVERIFY(!r.ok());
    QCOMPARE(r.error(), db::CountDigitsMessage());
    const db::Status s = db::UpdateDisc(id, f);
    QVERIFY(!s.ok());
    QCOMPARE(s.error(), db::CountDigitsMessage());
    QCOMPARE(pf.scalar("SELECT count(*) FROM table1").toInt(), 1);
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = ?", {id}).toString(), QString("原片"));
    QCOMPARE(pf.scalar("SELECT count(*) FROM table3").toInt(), 0);
}

void TestDiscRecords::emptyTitleRefusedOnAdd()
{
    ProgramFolder pf;
    auto r = db::AddDisc(titled("   "));
    QVERIFY(!r.ok());
    QCOMPARE(pf.scalar("SELECT count(*) FROM table1").toInt(), 0);
}

void TestDiscRecords::updateOfFreedSlotRefused()
{
    ProgramFolder pf;
    const qint64 id = add(titled("将删"));
    QVERIFY(db::DeleteDiscs({id}).ok());
    QVERIFY(!db::UpdateDisc(id, titled("复活")).ok());
    QVERIFY(pf.scalar("SELECT t13 FROM table1 WHERE id = ?", {id}).isNull());
    QVERIFY(!db::UpdateDisc(99, titled("无此")).ok());
}

void TestDiscRecords::quotesAndPercentStoredAsTyped()
{
    ProgramFolder pf;
    const QString title = "It's 100%_'";
    db::DiscFields f = titled(title);
    f.remark = "50% \"新\"";
    const qint64 id = add(f);
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = ?", {id}).toString(), title);
    rent(pf, id, title, QVariant());
    auto loaded = db::LoadDisc(id);
    QVERIFY(loaded.ok());
    QCOMPARE(*loaded->title, title);
    QCOMPARE(*loaded->remark, QString("50% \"新\""));
    QVERIFY(loaded->rentedOut);
    QVERIFY(db::DeleteDiscs({id}).ok());
    QCOMPARE(pf.scalar("SELECT s2 FROM table4").toString(), QString("已删除"));
}

void TestDiscRecords::updateOfDiscOutRefused_data()
{
    QTest::addColumn<QVariant>("newest"); // s2 of the disc's newest record
    QTest::addColumn<bool>("refused");
    QTest::newRow("out") << QVariant() << true;
    QTest::newRow("returned") << QVariant("√") << false;
    QTest::newRow("deleted record") << QVariant("已删除") << false;
}

// A correction window opened before the disc went out cannot rename it: the open record
// would no longer find its disc, and the return could never close it.
void TestDiscRecords::updateOfDiscOutRefused()
{
    QFETCH(QVariant, newest);
    QFETCH(bool, refused);
    ProgramFolder pf;
    const qint64 id = add(titled("出租片"));
    pf.exec("INSERT INTO table2 (t1, s1) VALUES ('客人', '2026-03-01')");
    rent(pf, id, "出租片", newest);
    if (newest.isNull())
        pf.exec("UPDATE table1 SET s1 = '2026-03-01', s3 = '客人' WHERE id = ?", {id});
    const db::Status s = db::UpdateDisc(id, titled("改名片"));
    QCOMPARE(!s.ok(), refused);
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = ?", {id}).toString(), refused ? QString("出租片") : QString("改名片"));
    if (refused)
        QCOMPARE(s.error(), QString("此碟已出租，暂时不能更改信息。请在归还后再更改信息。"));
    QCOMPARE(pf.problems(), QString());
}

void TestDiscRecords::rentalState_data()
{
    QTest::addColumn<QVariantList>("records"); // s2 of each record, oldest first
    QTest::addColumn<bool>("renamed");
    QTest::addColumn<bool>("rentedOut");
    QTest::newRow("never rented") << QVariantList{} << false << false;
    QTest::newRow("newest open") << QVariantList{"√", QVariant()} << false << true;
    QTest::newRow("newest returned") << QVariantList{QVariant(), "√"} << false << false;
    QTest::newRow("newest deleted") << QVariantList{QVariant(), "已删除"} << false << false;
    QTest::newRow("open but renamed") << QVariantList{QVariant()} << true << false;
}

void TestDiscRecords::rentalState()
{
    QFETCH(QVariantList, records);
    QFETCH(bool, renamed);
    QFETCH(bool, rentedOut);
    ProgramFolder pf;
    const qint64 other = add(titled("别的"));
    const qint64 id = add(titled("出租片"));
    for (const QVariant &s2 : records)
        rent(pf, id, "出租片", s2);
    // Another disc's open record never counts for this one.
    rent(pf, other, "出租片", QVariant());
    // An older file may hold a disc renamed while out; the program no longer renames one.
    if (renamed)
        pf.exec("UPDATE table1 SET t13 = '改名片' WHERE id = ?", {id});
    auto loaded = db::LoadDisc(id);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error()));
    QCOMPARE(loaded->rentedOut, rentedOut);
}

void TestDiscRecords::loadLeavesEmptyColumnsAbsent()
{
    ProgramFolder pf;
    pf.exec("INSERT INTO table1 (t13, t18, t7, t41, t34) VALUES (' 手工 ', NULL, 2, '', ' 简介 ')");
    auto d = db::LoadDisc(1);
    QVERIFY(d.ok());
    QCOMPARE(*d->title, QString("手工"));
    QCOMPARE(*d->count, QString("2"));
    QCOMPARE(*d->synopsis, QString(" 简介 "));
    QVERIFY(!d->media.has_value());
    QVERIFY(!d->remark.has_value());
    QVERIFY(!d->shelf.has_value());
}

void TestDiscRecords::loadOfFreeSlotRefused()
{
    ProgramFolder pf;
    pf.exec("INSERT INTO table1 DEFAULT VALUES");
    QVERIFY(!db::LoadDisc(1).ok());
    QVERIFY(!db::LoadDisc(42).ok());
}

void TestDiscRecords::deleteBlanksAndMarks()
{
    ProgramFolder pf;
    db::DiscFields f;
    f.remark = "r";
    f.count = "1";
    f.photoPath = writeFile(pf.path() + "/p.jpg", someBytes('p'));
    for (int i = 1; i <= 5; ++i) {
        f.title = QStringLiteral("片%1").arg(i);
        add(f);
    }
    pf.exec("UPDATE table1 SET s1 = '2026-03-01', s3 = '张三', s4 = 4");
    for (int i = 1; i <= 5; ++i) {
        rent(pf, i, QStringLiteral("片%1").arg(i), "√");
        rent(pf, i, QStringLiteral("片%1").arg(i), QVariant());
    }
    // Grid rows 2 to 4 of a list showing discs 1..5 in order.
    QVERIFY(db::DeleteDiscs({2, 3, 4}).ok());
    const auto discs = pf.rows("SELECT id, t13, t38, t7, t18, t14, t11, t10, t20, t41, t34, img1, c1, c2, "
                               "s1, s2, s3, s4 FROM table1 ORDER BY id");
    QCOMPARE(discs.size(), 5);
    // Kept discs hold title, count, remark, photo and the three rental columns.
    const QSet<int> filled = {1, 3, 9, 11, 14, 15, 16};
    for (const QVariantList &row : discs) {
        const bool deleted = row[0].toInt() >= 2 && row[0].toInt() <= 4;
        for (int c = 1; c <= 16; ++c)
            QCOMPARE(row[c].isNull(), deleted || !filled.contains(c));
        QCOMPARE(row[17].toInt(), deleted ? 0 : 4);
    }
    const auto records = pf.rows("SELECT discid, s2, s4 FROM table4 ORDER BY id");
    for (const QVariantList &rec : records) {
        const bool deleted = rec[0].toInt() >= 2 && rec[0].toInt() <= 4;
        if (deleted) {
            QCOMPARE(rec[1].toString(), QString("已删除"));
            QCOMPARE(rec[2].toString(), Today().toString(Qt::ISODate));
        } else {
            QVERIFY(rec[1].isNull() || rec[1].toString() == "√");
            QVERIFY(rec[2].isNull());
        }
    }
    QCOMPARE(db::NextDiscId().value(), qint64(2));
}

void TestDiscRecords::deleteEmptyListChangesNothing()
{
    ProgramFolder pf;
    add(titled("留"));
    rent(pf, 1, "留", QVariant());
    QVERIFY(db::DeleteDiscs({}).ok());
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = 1").toString(), QString("留"));
    QVERIFY(pf.scalar("SELECT s2 FROM table4").isNull());
}

void TestDiscRecords::deleteSkipsRenamedTitleRecords()
{
    ProgramFolder pf;
    add(titled("旧名"));
    rent(pf, 1, "旧名", QVariant());
    pf.exec("UPDATE table1 SET t13 = '新名' WHERE id = 1"); // renamed while out by an older release
    rent(pf, 1, "新名", "√");
    QVERIFY(db::DeleteDiscs({1}).ok());
    const auto recs = pf.rows("SELECT discname, s2, s4 FROM table4 ORDER BY id");
    QCOMPARE(recs.size(), 2);
    QVERIFY(recs[0][1].isNull());
    QVERIFY(recs[0][2].isNull());
    QCOMPARE(recs[1][1].toString(), QString("已删除"));
    QCOMPARE(recs[1][2].toString(), Today().toString(Qt::ISODate));
}

QTEST_GUILESS_MAIN(TestDiscRecords)
#include "tst_discrecords.moc"
