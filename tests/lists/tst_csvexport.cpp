// 导出 of the list windows: every record, read back with a CSV reader, equals what the
// list shows page by page, whatever the texts hold; a stopped or failed export leaves no file.
#include <QtTest>

#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>

#include "data/shop/csvexport.h"
#include "data/shop/disclists.h"
#include "lists/list_form.h"
#include "support/closewindows.h"
#include "support/hostileinput.h"
#include "support/programfolder.h"
#include "ui/messages.h"

using testsupport::ProgramFolder;

namespace {

// A reader written from RFC 4180 alone: quoted fields may hold commas, quotes (doubled),
// line breaks and anything else; lines end in CR LF. Fails the test on anything malformed.
QList<QStringList> ReadCsv(const QByteArray &bytes, bool *ok)
{
    *ok = false;
    QList<QStringList> records;
    QStringList record;
    QByteArray field;
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    bool atFieldStart = true;
    while (i < n) {
        if (atFieldStart && bytes.at(i) == '"') {
            ++i;
            for (;;) {
                if (i >= n)
                    return {};
                if (bytes.at(i) == '"') {
                    if (i + 1 < n && bytes.at(i + 1) == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += bytes.at(i++);
            }
            atFieldStart = false;
            if (i < n && bytes.at(i) != ',' && bytes.at(i) != '\r')
                return {};
            continue;
        }
        const char ch = bytes.at(i);
        if (ch == ',') {
            record << QString::fromUtf8(field);
            field.clear();
            atFieldStart = true;
            ++i;
        } else if (ch == '\r') {
            if (i + 1 >= n || bytes.at(i + 1) != '\n')
                return {};
            record << QString::fromUtf8(field);
            field.clear();
            records << record;
            record.clear();
            atFieldStart = true;
            i += 2;
        } else {
            // Outside quotes a field holds no quote, line break or NUL.
            if (ch == '"' || ch == '\n' || ch == '\0')
                return {};
            field += ch;
            atFieldStart = false;
            ++i;
        }
    }
    if (!record.isEmpty() || !field.isEmpty())
        return {};
    *ok = true;
    return records;
}

// Stops the work at its first report.
class StopAtOnce final : public db::Progress
{
public:
    void stage(const QString &, qint64) override {}
    bool advance(qint64) override { return false; }
};

} // namespace

// The discs list, telling whether its rows became cells off the window's thread.
class WatchedDiscList final : public list_Form
{
public:
    mutable std::atomic<bool> aside{false};

protected:
    QStringList exportCells(const QVariantList &row) const override
    {
        if (QThread::currentThread() != thread())
            aside = true;
        return list_Form::exportCells(row);
    }
};

class TestCsvExport : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { testsupport::DeleteAllWindows(); }
    void exportEqualsEveryPage_data();
    void exportEqualsEveryPage();
    void stoppedExportLeavesNoFile();
    void unwritableFolderReported();
    void cancelledInTheWindowLeavesNoFile();
};

void TestCsvExport::exportEqualsEveryPage_data()
{
    QTest::addColumn<QString>("text");
    for (const testsupport::HostileText &h : testsupport::HostileTexts())
        QTest::newRow(qPrintable(h.name)) << h.text;
    QTest::newRow("comma and quotes") << QStringLiteral("a,\"b\",c");
    QTest::newRow("line breaks") << QStringLiteral("一\r\n二\n三\r");
    QTest::newRow("NUL") << (QStringLiteral("前") + QChar(0) + QStringLiteral("后"));
    QTest::newRow("formula") << QStringLiteral("=SUM(A1:A2)");
}

void TestCsvExport::exportEqualsEveryPage()
{
    QFETCH(QString, text);
    ProgramFolder folder;
    // 65 discs: three pages, the last one short; every text column carries the hostile text.
    for (int i = 1; i <= 65; ++i)
        folder.exec(QStringLiteral("INSERT INTO table1 (t13, t14, t11, t38, t7, t18, t10, t20, s1, s3) "
                                   "VALUES (?, ?, ?, ?, 1, 'DVD', '中国', '动作', ?, ?)"),
                    {text + QString::number(i), text, text, text, i % 3 ? QVariant() : QStringLiteral("2026-03-01"),
                     i % 3 ? QVariant() : text});
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("全部碟片.csv"));
    msg::Recorder boxes;
    list_Form w;
    QVERIFY(w.exportTo(path));

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith(db::CsvByteOrderMark()));
    bool ok = false;
    const QList<QStringList> records = ReadCsv(bytes.mid(3), &ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 66);

    // The list as the shop keeper pages through it.
    QList<QStringList> shown;
    for (qint64 page = 1; page <= 3; ++page) {
        w.showPage(page);
        for (int r = 1; r <= w.rowsPerPage() && w.rowRecord(r) > 0; ++r) {
            QStringList cells;
            for (int c = 0; c < w.grid()->columnCount(); ++c)
                cells << w.grid()->cellText(r, c);
            shown << cells;
        }
    }
    QCOMPARE(shown.size(), 65);
    QStringList headers;
    for (int c = 0; c < w.grid()->columnCount(); ++c)
        headers << w.grid()->horizontalHeaderItem(c)->text();
    QCOMPARE(records.first(), headers);
    QCOMPARE(records.mid(1), shown);
}

void TestCsvExport::stoppedExportLeavesNoFile()
{
    ProgramFolder folder;
    for (int i = 1; i <= 600; ++i)
        folder.exec(QStringLiteral("INSERT INTO table1 (t13, t7) VALUES (?, 1)"), {QStringLiteral("碟%1").arg(i)});
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("a.csv"));
    const auto cells = [](const QVariantList &row) { return QStringList{row.value(0).toString()}; };
    StopAtOnce stop;
    db::Status s = db::ExportCsv(db::AllDiscsQuery(), {QStringLiteral("编号")}, cells, path, stop);
    QVERIFY(!s.ok());
    QCOMPARE(s.error(), db::ExportCancelled());
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

    // A file already there stays as it was.
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    QVERIFY(!db::ExportCsv(db::AllDiscsQuery(), {QStringLiteral("编号")}, cells, path, stop).ok());
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
}

void TestCsvExport::unwritableFolderReported()
{
    ProgramFolder folder;
    folder.exec(QStringLiteral("INSERT INTO table1 (t13, t7) VALUES ('碟', 1)"));
    msg::Recorder boxes;
    list_Form w;
    QVERIFY(!w.exportTo(QStringLiteral("/nonexistent-folder/x.csv")));
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY(boxes.boxes().first().text.contains(QStringLiteral("无法写入")));
}

// 导出 from the window: the rows are written aside while the window's events go on, and
// 取消 in the progress dialog stops it without leaving a file.
void TestCsvExport::cancelledInTheWindowLeavesNoFile()
{
    ProgramFolder folder;
    folder.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                               "INSERT INTO table1 (t13, t7) SELECT '碟' || i, 1 FROM n"));
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("全部碟片.csv"));
    msg::Recorder boxes;
    WatchedDiscList w;
    // The clerk cancels as soon as the dialog is there (it is made hidden, shown after a moment).
    int ticks = 0;
    QTimer clerk;
    clerk.setInterval(5);
    QObject::connect(&clerk, &QTimer::timeout, [&] {
        ++ticks;
        if (auto *dialog = w.findChild<QProgressDialog *>(QStringLiteral("progressDialog")))
            dialog->cancel();
    });
    clerk.start();
    QVERIFY(!w.exportTo(path));
    clerk.stop();
    QVERIFY(ticks > 0);
    QVERIFY(w.aside);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().first().text, db::ExportCancelled());

    // Left alone, the same export writes every disc.
    QVERIFY(w.exportTo(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().count('\n'), 20001);
}

QTEST_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
