// 导入碟片目录: UTF-8 and GBK files with good and bad lines; the preview names the bad
// lines and why; the good ones land in the lowest free slots with the lookup lists and the
// search index as disc entry leaves them; a stop or a failed write imports nothing.
#include <QtTest>

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "data/shop/catalogueimport.h"
#include "data/shop/lookuplists.h"
#include "discs/catalogueimportform.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "ui/messages.h"

using testsupport::ProgramFolder;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray encoded(const QString &text, const QString &encoding)
{
    if (encoding == QLatin1String("UTF-8 BOM"))
        return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
    if (encoding == QLatin1String("UTF-8"))
        return text.toUtf8();
    QStringEncoder gbk("GB18030");
    return gbk.encode(text);
}

// Line 1 headers (in another order than the entry window, one the import does not know),
// then three good lines and three bad ones: lines 4, 6 and 8 (the first record takes two
// lines), and an empty line that is no disc.
QString catalogue(const QString &coverLine)
{
    return QStringLiteral(
               "媒介分类,碟名,主角,导演,所属柜位,碟装,国别,内容类别,碟片简介,封面文件,进价\r\n"
               "DVD,大话西游,周星驰,刘镇伟,A1,2,香港,喜剧,\"两行\r\n简介，有逗号\",,12\r\n"
               "DVD,,无名,某人,A1,1,中国,动作,,,0\r\n"
               "VCD,英雄,李连杰,张艺谋,新柜,1,中国,武侠,,%1,0\r\n"
               "DVD,十五个字以上的一个很长很长的片名啊,某,某,A2,1,,,,,0\r\n"
               "DVD,卧虎藏龙,周润发,李安,A2,,台湾,武侠,,,0\r\n"
               "DVD,无间道,刘德华,刘伟强,A3,两张,香港,警匪,,,0\r\n"
               ",,,,,,,,,,\r\n")
        .arg(coverLine);
}

class StopAtOnce final : public db::Progress
{
public:
    void stage(const QString &, qint64) override {}
    bool advance(qint64) override { return false; }
};

} // namespace

class TestCatalogueImport : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { testsupport::DeleteAllWindows(); }
    void previewThenImport_data();
    void previewThenImport();
    void stoppedImportLeavesNothing();
    void failedWriteLeavesNothing();
    void fileWithoutTitleColumnRefused();
    void windowsSpreadsheetGbk();
};

void TestCatalogueImport::previewThenImport_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UTF-8 with byte-order mark") << "UTF-8 BOM" << "UTF-8";
    QTest::newRow("UTF-8") << "UTF-8" << "UTF-8";
    QTest::newRow("GBK") << "GBK" << "GB18030";
}

void TestCatalogueImport::previewThenImport()
{
    QFETCH(QString, encoding);
    QFETCH(QString, shown);
    ProgramFolder folder;
    // Slots 1-3 hold discs; 2 is then deleted, so the first import lands in 2, the rest after 3.
    folder.exec("INSERT INTO table1 (t13, t7) VALUES ('甲', 1), ('乙', 1), ('丙', 1)");
    folder.exec("UPDATE table1 SET t13 = NULL WHERE id = 2");
    folder.exec("INSERT INTO table3 (s11) VALUES ('DVD')");
    QVERIFY(db::LoadLookupLists().ok());
    QTemporaryDir dir;
    writeFile(dir.filePath("cover.jpg"), QByteArray("\xFF\xD8\xFF\xE0 picture", 12));
    const QString path = dir.filePath("目录.csv");
    writeFile(path, encoded(catalogue("cover.jpg"), encoding));

    msg::Recorder boxes;
    CatalogueImportForm w;
    w.show();
    QVERIFY(w.openFile(path));
    QCOMPARE(w.findChild<QLabel *>("encoding")->text(), QStringLiteral("编码：") + shown);
    QCOMPARE(w.findChild<QPlainTextEdit *>("problems")->toPlainText(),
             QStringLiteral("第 4 行：缺少碟名\n"
                            "第 6 行：碟名超过 15 个字\n"
                            "第 8 行：碟装不是数字"));
    QVERIFY2(w.findChild<QLabel *>("summary")->text().contains(QStringLiteral("可导入 3 行，有问题 3 行")),
             qPrintable(w.findChild<QLabel *>("summary")->text()));
    QVERIFY(w.findChild<QLabel *>("summary")->text().contains(QStringLiteral("进价")));

    boxes.setNextAnswer(true);
    QCOMPARE(w.importLines(), qint64(3));
    QCOMPARE(boxes.boxes().first().kind, msg::Recorder::Box::Confirm);

    const auto rows = folder.rows("SELECT id, t13, t14, t11, t38, t7, t10, t18, t20, t34, img1 IS NOT NULL "
                                  "FROM table1 WHERE t13 IS NOT NULL ORDER BY id");
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows.at(1), (QVariantList{2, "大话西游", "周星驰", "刘镇伟", "A1", 2, "香港", "DVD", "喜剧",
                                       QStringLiteral("两行\r\n简介，有逗号"), 0}));
    QCOMPARE(rows.at(3).mid(0, 2), (QVariantList{4, "英雄"}));
    QCOMPARE(rows.at(3).last().toInt(), 1);
    QCOMPARE(rows.at(4).mid(0, 2), (QVariantList{5, "卧虎藏龙"}));
    // Lookup values as disc entry adds them: new ones once, known ones not again.
    QCOMPARE(folder.scalar("SELECT count(*) FROM table3 WHERE s11 = 'DVD'").toInt(), 1);
    QCOMPARE(db::Lookups().ShelfList.entries(), QStringList({"A1", "新柜", "A2"}));
    QCOMPARE(db::Lookups().StarringList.entries(), QStringList({"周星驰", "李连杰", "周润发"}));
    // The checker reads the search index through against the table.
    QCOMPARE(folder.problems(), QString());
}

void TestCatalogueImport::stoppedImportLeavesNothing()
{
    ProgramFolder folder;
    QString text = QStringLiteral("碟名,所属柜位\r\n");
    for (int i = 0; i < 300; ++i)
        text += QStringLiteral("片%1,柜%2\r\n").arg(i).arg(i % 7);
    QTemporaryDir dir;
    writeFile(dir.filePath("a.csv"), text.toUtf8());
    auto file = db::ReadCatalogue(dir.filePath("a.csv"));
    QVERIFY(file.ok());
    QCOMPARE(file->goodLines(), qint64(300));
    StopAtOnce stop;
    auto imported = db::ImportCatalogue(*file, stop);
    QVERIFY(!imported.ok());
    QCOMPARE(imported.error(), db::ImportCancelled());
    QCOMPARE(folder.scalar("SELECT count(*) FROM table1").toInt(), 0);
    QCOMPARE(folder.scalar("SELECT count(*) FROM table3").toInt(), 0);
    QCOMPARE(db::Lookups().ShelfList.count(), 0);
    QCOMPARE(folder.problems(), QString());
}

void TestCatalogueImport::failedWriteLeavesNothing()
{
    ProgramFolder folder;
    QTemporaryDir dir;
    writeFile(dir.filePath("c.jpg"), "jpeg");
    writeFile(dir.filePath("a.csv"), "碟名,柜位,封面\r\n甲,A1,\r\n乙,B1,c.jpg\r\n");
    auto file = db::ReadCatalogue(dir.filePath("a.csv"));
    QVERIFY(file.ok());
    QCOMPARE(file->badLines(), qint64(0));
    // The cover goes away between the preview and the import: the second disc cannot be
    // stored, so the first is not either.
    QVERIFY(QFile::remove(dir.filePath("c.jpg")));
    auto imported = db::ImportCatalogue(*file, db::NoProgress());
    QVERIFY(!imported.ok());
    QVERIFY(imported.error().startsWith(QStringLiteral("第 3 行")));
    QCOMPARE(folder.scalar("SELECT count(*) FROM table1 WHERE t13 IS NOT NULL").toInt(), 0);
    QCOMPARE(folder.scalar("SELECT count(*) FROM table3").toInt(), 0);
    QCOMPARE(db::Lookups().ShelfList.count(), 0);

    // A cover missing already at the preview is that line's problem.
    auto again = db::ReadCatalogue(dir.filePath("a.csv"));
    QVERIFY(again.ok());
    QCOMPARE(again->lines.at(1).problems, QStringList{QStringLiteral("封面文件无法读取：c.jpg")});
}

void TestCatalogueImport::fileWithoutTitleColumnRefused()
{
    ProgramFolder folder;
    QTemporaryDir dir;
    writeFile(dir.filePath("a.csv"), "名字,柜位\r\n甲,A1\r\n");
    msg::Recorder boxes;
    CatalogueImportForm w;
    QVERIFY(!w.openFile(dir.filePath("a.csv")));
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY(boxes.boxes().first().text.contains(QStringLiteral("碟名")));
    QCOMPARE(w.importLines(), qint64(-1));
}

// The bytes a spreadsheet program on a Chinese Windows writes for "CSV (逗号分隔)": GBK,
// no byte-order mark, CR LF, quotes only around a field that needs them. Written out as
// bytes here, not through the decoder the import uses.
void TestCatalogueImport::windowsSpreadsheetGbk()
{
    ProgramFolder folder;
    QTemporaryDir dir;
    const QString path = dir.filePath("目录.csv");
    writeFile(path, QByteArray::fromHex("b5fac3fb2cd6f7bdc72cb5fad7b00d0ad3a2d0db2cc0eec1acbddc2c310d0a22ced4bba2b2d8c1faa3acc9cf"
                                        "bcaf222cd6dcc8f3b7a22c320d0a"));
    auto file = db::ReadCatalogue(path);
    QVERIFY2(file, qPrintable(file.error()));
    QCOMPARE(file->encoding, QStringLiteral("GB18030"));
    QCOMPARE(file->headers, QStringList({"碟名", "主角", "碟装"}));
    QCOMPARE(file->lines.size(), 2);
    QCOMPARE(file->lines.at(0).fields.title, QStringLiteral("英雄"));
    QCOMPARE(file->lines.at(0).fields.starring, QStringLiteral("李连杰"));
    QCOMPARE(file->lines.at(1).fields.title, QStringLiteral("卧虎藏龙，上集"));
    QCOMPARE(file->lines.at(1).fields.count, QStringLiteral("2"));
    QCOMPARE(file->badLines(), 0);
}

QTEST_MAIN(TestCatalogueImport)
#include "tst_catalogueimport.moc"
