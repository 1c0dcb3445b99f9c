// Disc and customer labels: sheets rendered at the printed size, as an image and through a
// PDF file and pdftoppm, decode back to the numbers they were made from.
#define ZX_USE_UTF8 1
#include <QtTest>

#include <QFileInfo>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QProcess>
#include <QTemporaryDir>

#include <ZXing/ReadBarcode.h>

#include "data/shop/labels.h"
#include "data/shop/scans.h"
#include "data/store/progress.h"
#include "printing/barcode.h"
#include "printing/labelsheet.h"
#include "support/programfolder.h"

using printing::LabelJob;

namespace {

// Every Code 128 symbol found in the image, as text.
QStringList decodeAll(const QImage &page)
{
    const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::Code128);
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    QStringList out;
    for (const ZXing::Result &r : ZXing::ReadBarcodes(
             ZXing::ImageView(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum, int(grey.bytesPerLine())),
             hints)) {
        if (r.isValid())
            out << QString::fromStdString(r.text());
    }
    out.sort();
    return out;
}

// The symbol of one label cut out of the page (a reader takes one label at a time).
QString decodeLabel(const QImage &page, const LabelJob &job, int slot, int dpi)
{
    const double mm = dpi / 25.4;
    const auto &l = job.layout;
    const int column = slot % l.columns, row = slot / l.columns;
    const QRect cell(qRound((l.origin.x() + column * l.pitch.width()) * mm), qRound((l.origin.y() + row * l.pitch.height()) * mm),
                     qRound(l.label.width() * mm), qRound(l.label.height() * mm));
    const QStringList found = decodeAll(page.copy(cell));
    return found.size() == 1 ? found.first() : QStringLiteral("<%1 symbols>").arg(found.size());
}

db::LabelText disc(qint64 id, const QString &title = QStringLiteral("碟"))
{
    return {db::DiscCode(id), db::DiscCode(id), title, QStringLiteral("A1")};
}

const QList<qint64> kNumbers = {1, 42, 123456, 1234567, 99999999, 4294967296LL, (qint64(1) << 40) + 7,
                                std::numeric_limits<qint64>::max()};

} // namespace

class TestLabels : public QObject
{
    Q_OBJECT
private slots:
    void sheetDecodesBack_data();
    void sheetDecodesBack();
    void pdfThroughPdftoppmDecodesBack();
    void firstLabelOffsetAndPages_data();
    void firstLabelOffsetAndPages();
    void titleCutAtWholeCharacter_data();
    void titleCutAtWholeCharacter();
    void labelsReadFromTheFile();
};

void TestLabels::sheetDecodesBack_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("dpi");
    QTest::newRow("A4 sheet, 300 dpi") << "a4-3x8" << 300;
    QTest::newRow("A4 sheet, 203 dpi") << "a4-3x8" << 203;
    QTest::newRow("roll label, 203 dpi") << "roll-50x30" << 203;
}

void TestLabels::sheetDecodesBack()
{
    QFETCH(QString, layout);
    QFETCH(int, dpi);
    LabelJob job;
    job.layout = printing::LabelLayoutByKey(layout);
    for (qint64 n : kNumbers)
        job.labels << disc(n, QStringLiteral("一部名字很长很长很长很长很长很长很长很长的电影"));
    job.labels << db::LabelText{db::CustomerCode(12), db::CustomerCode(12), QStringLiteral("张三"), QString()};
    QStringList expected;
    for (const db::LabelText &t : job.labels)
        expected << t.code;

    QStringList decoded;
    const int per = printing::LabelsPerPage(job.layout);
    for (int page = 0; page < printing::PageCount(job); ++page) {
        const QImage image = printing::RenderLabelPage(job, page, dpi);
        for (int slot = 0; slot < per && page * per + slot < job.labels.size(); ++slot)
            decoded << decodeLabel(image, job, slot, dpi);
    }
    QCOMPARE(decoded, expected);
    // What a scan of each reads is the disc or the customer it was made for.
    QCOMPARE(db::ParseScanCode(decoded.at(kNumbers.size() - 1)).number, std::numeric_limits<qint64>::max());
    QCOMPARE(int(db::ParseScanCode(decoded.last()).kind), int(db::ScanCode::Kind::Customer));
}

void TestLabels::pdfThroughPdftoppmDecodesBack()
{
    QTemporaryDir dir;
    LabelJob job;
    job.layout = printing::LabelLayoutByKey(QStringLiteral("a4-3x8"));
    job.offset = 20; // a part-used sheet: the first twenty labels are gone
    for (qint64 n : kNumbers)
        job.labels << disc(n);
    const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
    QVERIFY(printing::WriteLabelsPdf(pdf, job, db::NoProgress()).ok());
    QProcess render;
    render.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-gray"),
                                              QStringLiteral("-png"), pdf, dir.filePath(QStringLiteral("page"))});
    QVERIFY2(render.waitForFinished(60000) && render.exitCode() == 0, render.readAllStandardError().constData());
    const QImage first(dir.filePath(QStringLiteral("page-1.png"))), second(dir.filePath(QStringLiteral("page-2.png")));
    QVERIFY(!first.isNull() && !second.isNull());
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("page-3.png"))));
    QCOMPARE(first.width(), qRound(210 / 25.4 * 300));
    // Four labels on the last row of the first sheet, four at the top of the second.
    QStringList onFirst, onSecond;
    for (int slot = 20; slot < 24; ++slot)
        onFirst << decodeLabel(first, job, slot, 300);
    for (int slot = 0; slot < 4; ++slot)
        onSecond << decodeLabel(second, job, slot, 300);
    QStringList expected;
    for (qint64 n : kNumbers)
        expected << db::DiscCode(n);
    QCOMPARE(onFirst + onSecond, expected);
    QCOMPARE(decodeLabel(first, job, 0, 300), QStringLiteral("<0 symbols>"));
}

void TestLabels::firstLabelOffsetAndPages_data()
{
    QTest::addColumn<int>("labels");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("pages");
    QTest::newRow("none") << 0 << 0 << 0;
    QTest::newRow("one") << 1 << 0 << 1;
    QTest::newRow("a full sheet") << 24 << 0 << 1;
    QTest::newRow("one more") << 25 << 0 << 2;
    QTest::newRow("last label of a used sheet") << 1 << 23 << 1;
    QTest::newRow("spills over") << 2 << 23 << 2;
    QTest::newRow("offset beyond the sheet is the last label") << 2 << 99 << 2;
    QTest::newRow("1000 labels") << 1000 << 0 << 42;
}

void TestLabels::firstLabelOffsetAndPages()
{
    QFETCH(int, labels);
    QFETCH(int, offset);
    QFETCH(int, pages);
    LabelJob job;
    job.layout = printing::LabelLayoutByKey(QStringLiteral("a4-3x8"));
    job.offset = offset;
    for (int i = 0; i < labels; ++i)
        job.labels << disc(i + 1);
    QCOMPARE(printing::PageCount(job), pages);
}

void TestLabels::titleCutAtWholeCharacter_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("Chinese") << QStringLiteral("无间道无间道无间道无间道无间道无间道无间道无间道");
    QTest::newRow("emoji") << QStringLiteral("🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬🎬");
    QTest::newRow("combining marks") << QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301");
    QTest::newRow("joined emoji") << QStringLiteral("👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧");
}

void TestLabels::titleCutAtWholeCharacter()
{
    QFETCH(QString, title);
    QFont font;
    font.setPixelSize(20);
    const QFontMetricsF m(font);
    const double width = m.horizontalAdvance(title) / 2;
    const QString cut = printing::CutToWidth(title, m, width);
    QVERIFY(!cut.isEmpty());
    QVERIFY(title.startsWith(cut));
    QVERIFY(m.horizontalAdvance(cut) <= width);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, title);
    graphemes.setPosition(cut.size());
    QVERIFY2(graphemes.isAtBoundary(), qPrintable(cut));
    QCOMPARE(printing::CutToWidth(title, m, 1e6), title);
}

void TestLabels::labelsReadFromTheFile()
{
    testsupport::ProgramFolder f;
    const qint64 big = (qint64(1) << 40) + 1;
    f.exec(QStringLiteral("INSERT INTO table1 (id, t13, t38) VALUES (3, '碟三', 'B2'), (4, NULL, NULL), (5, '碟五', 'C1'), (?, '远', 'Z9')"),
           {big});
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1) VALUES (12, '张三'), (13, NULL)"));
    auto chosen = db::DiscLabels({5, 4, 3, 99, big});
    QVERIFY(chosen.ok());
    QCOMPARE(chosen->size(), 3);
    QCOMPARE(chosen->at(0).code, QStringLiteral("000005"));
    QCOMPARE(chosen->at(0).title, QStringLiteral("碟五"));
    QCOMPARE(chosen->at(0).slot, QStringLiteral("C1"));
    QCOMPARE(chosen->at(1).code, QStringLiteral("000003"));
    QCOMPARE(chosen->at(2).code, QString::number(big));
    auto range = db::DiscLabelRange(1, 5);
    QVERIFY(range.ok());
    QCOMPARE(range->size(), 2);
    QCOMPARE(range->at(0).number, QStringLiteral("000003"));
    auto cards = db::CustomerLabels({13, 12});
    QVERIFY(cards.ok());
    QCOMPARE(cards->size(), 1);
    QCOMPARE(cards->at(0).code, QStringLiteral("C000012"));
    QCOMPARE(cards->at(0).title, QStringLiteral("张三"));
}

QTEST_MAIN(TestLabels)
#include "tst_labels.moc"
