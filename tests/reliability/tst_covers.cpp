#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include "data/store/clock.h"
#include "data/shop/demodata.h"
#include "data/store/programdir.h"
#include "discs/input_form.h"
#include "hoverpad/usercontrol1.h"
#include "support/programfolder.h"
#include "support/typing.h"
#include "ui/messages.h"

using testsupport::ProgramFolder;

// Malformed and hostile cover files chosen in the disc entry window, each in a process of
// its own: no crash, a bounded peak of memory, and every file either stored byte for byte
// (and shown again in a correction window) or refused with a message that says why.

namespace {

const char *const kChildFlag = "--cover-child";
// What a child may use at most: the program, the decoder's allocation limit and the bytes
// of the largest cover accepted.
constexpr long kMaxPeakKb = 512 * 1024;

QByteArray encoded(const QImage &img, const char *format, int quality = -1)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format, quality);
    return out;
}

QImage striped(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 7) & 0xff, (y * 3) & 0xff, ((x + y) / 16 % 2) * 200);
    }
    return img;
}

// A JPEG whose frame header claims another size.
QByteArray withDeclaredSize(QByteArray jpeg, int w, int h)
{
    const int sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0)
        qFatal("no frame header");
    jpeg[sof + 5] = char(h >> 8);
    jpeg[sof + 6] = char(h & 0xff);
    jpeg[sof + 7] = char(w >> 8);
    jpeg[sof + 8] = char(w & 0xff);
    return jpeg;
}

QByteArray randomBytes(int n, quint32 seed)
{
    QRandomGenerator r(seed);
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(r.bounded(256));
    return b;
}

QByteArray bmpHeader(qint32 w, qint32 h, quint32 offset = 54)
{
    QByteArray b(54, '\0');
    auto put32 = [&b](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char((v >> (8 * i)) & 0xff);
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 54);
    put32(10, offset);
    put32(14, 40);
    put32(18, quint32(w));
    put32(22, quint32(h));
    b[26] = 1;
    b[28] = 24;
    return b;
}

enum class Expect { Stored, Refused, Either };

struct Cover
{
    QString name;
    QString file;   // name of the file chosen
    Expect expect;
    QString reason; // part of the refusal message
    std::function<void(const QString &path)> write;
};

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

std::function<void(const QString &)> bytes(std::function<QByteArray()> make)
{
    return [make](const QString &path) { writeBytes(path, make()); };
}

QList<Cover> covers()
{
    const QByteArray jpeg = encoded(striped(600, 800), "JPG", 85);
    const QByteArray bmp = db::MakeCoverBmp(300, 400, 11);
    return {
        {QStringLiteral("1 x 1 BMP"), "one.bmp", Expect::Stored, {}, bytes([] { return encoded(striped(1, 1), "BMP"); })},
        {QStringLiteral("1 x 1 JPEG"), "one.jpg", Expect::Stored, {}, bytes([] { return encoded(striped(1, 1), "JPG"); })},
        {QStringLiteral("ordinary JPEG 600 x 800"), "cover.jpg", Expect::Stored, {}, bytes([jpeg] { return jpeg; })},
        {QStringLiteral("top-down BMP"), "topdown.bmp", Expect::Stored, {},
         bytes([] {
             QByteArray b = bmpHeader(2, -2);
             b.append(QByteArray(16, '\x40'));
             return b;
         })},
        {QStringLiteral("large JPEG 6000 x 4500"), "large.jpg", Expect::Stored, {},
         bytes([] { return encoded(striped(6000, 4500), "JPG", 70); })},
        {QStringLiteral("BMP at the pixel limit 6000 x 5000"), "limit.bmp", Expect::Stored, {},
         bytes([] { return db::MakeCoverBmp(6000, 5000, 5); })},
        {QStringLiteral("zero bytes named .jpg"), "empty.jpg", Expect::Refused, QStringLiteral("不是 JPEG 或 BMP"),
         bytes([] { return QByteArray(); })},
        {QStringLiteral("random bytes named .jpg"), "random.jpg", Expect::Refused, QStringLiteral("不是 JPEG 或 BMP"),
         bytes([] { return randomBytes(50000, 1); })},
        {QStringLiteral("JPEG start, then random bytes"), "noise.jpg", Expect::Refused, QStringLiteral("已损坏"),
         bytes([] { return QByteArray("\xFF\xD8\xFF", 3) + randomBytes(50000, 2); })},
        {QStringLiteral("JPEG cut after 100 bytes"), "cut100.jpg", Expect::Refused, QStringLiteral("已损坏"),
         bytes([jpeg] { return jpeg.left(100); })},
        {QStringLiteral("JPEG cut at 60 %"), "cut60.jpg", Expect::Either, QStringLiteral("已损坏"),
         bytes([jpeg] { return jpeg.left(jpeg.size() * 6 / 10); })},
        {QStringLiteral("BMP cut in its pixels"), "cut.bmp", Expect::Either, QStringLiteral("已损坏"),
         bytes([bmp] { return bmp.left(bmp.size() / 2); })},
        {QStringLiteral("BMP header only"), "header.bmp", Expect::Either, QStringLiteral("已损坏"),
         bytes([bmp] { return bmp.left(54); })},
        {QStringLiteral("BMP declaring 60000 x 60000"), "huge.bmp", Expect::Refused, QStringLiteral("已损坏"),
         bytes([] { return bmpHeader(60000, 60000); })},
        {QStringLiteral("BMP with pixels past its end"), "offset.bmp", Expect::Either, QStringLiteral("已损坏"),
         bytes([] { return bmpHeader(64, 64, 0x7ffffff0) + QByteArray(100, '\x7f'); })},
        {QStringLiteral("JPEG declaring 65000 x 65000"), "huge.jpg", Expect::Refused, QStringLiteral("图片太大（65000 × 65000 像素）"),
         bytes([jpeg] { return withDeclaredSize(jpeg, 65000, 65000); })},
        {QStringLiteral("PNG named .jpg"), "png.jpg", Expect::Refused, QStringLiteral("不是 JPEG 或 BMP"),
         bytes([] { return encoded(striped(40, 40), "PNG"); })},
        {QStringLiteral("GIF named .bmp"), "gif.bmp", Expect::Refused, QStringLiteral("不是 JPEG 或 BMP"),
         bytes([] { return QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
                                      "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;", 43); })},
        {QStringLiteral("JPEG with 101 MB of trailing bytes"), "padded.jpg", Expect::Refused, QStringLiteral("文件太大"),
         [jpeg](const QString &path) {
             QFile f(path);
             if (!f.open(QIODevice::WriteOnly))
                 qFatal("cannot write");
             f.write(jpeg);
             f.resize(jpeg.size() + 101LL * 1024 * 1024);
         }},
        {QStringLiteral("a folder named .jpg"), "folder.jpg", Expect::Refused, QStringLiteral("无法读取"),
         [](const QString &path) { QDir().mkpath(path); }},
    };
}

// In the child: the clerk chooses the file as cover of a new disc and submits; a stored
// cover is then opened in a correction window. Prints every message, the result and the
// peak of memory.
int runChild(const QString &folder, const QString &file)
{
    db::ProgramDir::setPath(folder);
    db::Clock::setFixed(QDateTime(testsupport::Today(), QTime(10, 30)));
    msg::Recorder rec;
    input_Form::setFileChooser([file](QWidget *, const QString &, const QString &, const QString &) { return file; });
    {
        input_Form w;
        w.show();
        testsupport::Enter(w.findChild<QWidget *>(QStringLiteral("Text1_11")), QStringLiteral("封面测试"),
                           testsupport::Entry::Typed);
        auto *image = w.findChild<QLabel *>(QStringLiteral("Image1"));
        QTest::mouseClick(image, Qt::LeftButton, {}, image->rect().center());
        std::printf("chosen %d\n", image->pixmap().isNull() ? 0 : 1);
        auto *submit = w.findChild<UserControl1 *>(QStringLiteral("button1_1"));
        QTest::mouseClick(submit, Qt::LeftButton, {}, submit->rect().center());
    }
    if (input_Form *c = input_Form::openForCorrection(1)) {
        std::printf("shown %d\n", c->findChild<QLabel *>(QStringLiteral("Image1"))->pixmap().isNull() ? 0 : 1);
        delete c;
    }
    for (const QString &t : rec.texts())
        std::printf("msg %s\n", QString(t).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8().constData());
    // The high-water mark of this program's own memory (getrusage would also count what
    // the parent held when it started this process).
    QFile status(QStringLiteral("/proc/self/status"));
    long peakKb = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peakKb = line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    std::printf("peak %ld\n", peakKb);
    std::fflush(stdout);
    return 0;
}

} // namespace

class tst_covers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void hostileCover_data();
    void hostileCover();

private:
    QTemporaryDir m_files;
    QStringList m_figures;
};

void tst_covers::initTestCase()
{
    QVERIFY(m_files.isValid());
}

void tst_covers::cleanupTestCase()
{
    for (const QString &f : std::as_const(m_figures))
        qInfo("%s", qPrintable(f));
}

void tst_covers::hostileCover_data()
{
    QTest::addColumn<int>("index");
    int i = 0;
    for (const Cover &c : covers())
        QTest::newRow(qPrintable(c.name)) << i++;
}

void tst_covers::hostileCover()
{
    QFETCH(int, index);
    const Cover c = covers().at(index);
    const QString file = m_files.filePath(c.file);
    c.write(file);
    ProgramFolder pf;

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kChildFlag), pf.path(), file});
    QVERIFY(child.waitForFinished(120000));
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(err));
    QStringList messages;
    bool chosen = false, shown = false;
    long peakKb = 0;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QString l = QString::fromUtf8(line);
        if (l.startsWith(QStringLiteral("msg ")))
            messages << l.mid(4);
        else if (l.startsWith(QStringLiteral("chosen ")))
            chosen = l.endsWith(QLatin1Char('1'));
        else if (l.startsWith(QStringLiteral("shown ")))
            shown = l.endsWith(QLatin1Char('1'));
        else if (l.startsWith(QStringLiteral("peak ")))
            peakKb = l.mid(5).toLong();
    }
    QVERIFY(peakKb > 0);
    QVERIFY2(peakKb < kMaxPeakKb, qPrintable(QStringLiteral("peak %1 MB").arg(peakKb / 1024)));

    // The disc is saved either way; the cover only when the file could be shown.
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = 1").toString(), QStringLiteral("封面测试"));
    const QVariant storedCover = pf.scalar("SELECT img1 FROM table1 WHERE id = 1");
    const bool stored = !storedCover.isNull();
    if (stored) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(storedCover.toByteArray() == f.readAll());
        QVERIFY(chosen);
        QVERIFY(shown);
        QCOMPARE(messages, QStringList{QStringLiteral("数据添加完成！")});
    } else {
        QVERIFY(!chosen);
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[0].startsWith(QStringLiteral("不能用这个文件作封面：")) && messages[0].contains(c.reason),
                 qPrintable(messages[0]));
        QVERIFY2(messages[0].contains(file), qPrintable(messages[0]));
        QCOMPARE(messages[1], QStringLiteral("数据添加完成！"));
    }
    if (c.expect != Expect::Either)
        QCOMPARE(stored, c.expect == Expect::Stored);
    m_figures << QStringLiteral("%1: %2, peak %3 MB")
                     .arg(c.name, stored ? QStringLiteral("stored and shown") : QStringLiteral("refused: ") + messages[0].section(QStringLiteral("："), 1, 1).section(QStringLiteral(" （"), 0, 0))
                     .arg(peakKb / 1024);
    QFile::remove(file);
    QDir(file).removeRecursively();
    QCOMPARE(pf.problems(), QString());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], kChildFlag) == 0)
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    tst_covers t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_covers.moc"
