#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include "app/about.h"
#include "app/main_mdiform.h"
#include "app/programicon.h"
#include "app/tour.h"
#include "data/store/programdir.h"
#include "hoverpad/usercontrol1.h"
#include "support/programfolder.h"
#include "ui/twips.h"

using testsupport::ProgramFolder;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QTextBrowser *view(QWidget *guide)
{
    auto *b = guide->findChild<QTextBrowser *>(QStringLiteral("brwWebBrowser"));
    if (!b)
        qFatal("no brwWebBrowser");
    return b;
}

QList<QWidget *> openWindows(const QString &name)
{
    QList<QWidget *> found;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name && w->isVisible())
            found << w;
    }
    return found;
}

void closeNow(QWidget *w)
{
    if (w)
        w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The installed data folder points at an empty place unless a test says otherwise.
struct NoInstalledData
{
    QTemporaryDir dir;
    NoInstalledData() { db::InstalledData::setFolders({dir.filePath("share/lanlan")}); }
    ~NoInstalledData() { db::InstalledData::setFolders({}); }
    QString path() const { return dir.filePath("share/lanlan"); }
};

} // namespace

class tst_help : public QObject
{
    Q_OBJECT
private slots:
    void guideIsOneWindow();
    void viewFollowsWindowSize_data();
    void viewFollowsWindowSize();
    void guidePageLookup_data();
    void guidePageLookup();
    void shippedGuideShowsItsPictures();
    void aboutShowsNameVersionAndPicture();
    void aboutIsOneWindowAndOkCloses();
    void helpMenuOpensTopLevelWindows();
    void programIconHasEverySize();
};

void tst_help::guideIsOneWindow()
{
    ProgramFolder folder;
    NoInstalledData installed;
    QPointer<tour> first = tour::showWindow();
    QVERIFY(first);
    QVERIFY(first->isWindow());
    QVERIFY(first->windowState() & Qt::WindowMaximized);
    QCOMPARE(first->windowTitle(), QStringLiteral("入门指南"));

    first->showMinimized();
    QPointer<tour> second = tour::showWindow();
    QCOMPARE(second.data(), first.data());
    QVERIFY(!second->isMinimized());
    QCOMPARE(openWindows("tour").size(), 1);

    // Once closed, the menu opens a fresh one.
    closeNow(first);
    QVERIFY(!first);
    QPointer<tour> third = tour::showWindow();
    QVERIFY(third);
    QCOMPARE(openWindows("tour").size(), 1);
    closeNow(third);
}

void tst_help::viewFollowsWindowSize_data()
{
    QTest::addColumn<QSize>("window");
    QTest::newRow("large") << QSize(1200, 800);
    QTest::newRow("small") << QSize(320, 200);
    QTest::newRow("just the margin") << QSize(ui::twips(100), ui::twips(100));
    QTest::newRow("tiny") << QSize(3, 2);
    QTest::newRow("narrow but tall") << QSize(4, 500);
}

void tst_help::viewFollowsWindowSize()
{
    QFETCH(QSize, window);
    ProgramFolder folder;
    NoInstalledData installed;
    tour *guide = tour::showWindow();
    guide->showNormal();
    // Through a larger size first, so every row is a real resize.
    guide->resize(900, 700);
    guide->resize(window);
    QApplication::processEvents();
    QCOMPARE(guide->size(), window);
    const int margin = ui::twips(100);
    const QRect expected(0, 0, qMax(0, window.width() - margin), qMax(0, window.height() - margin));
    QCOMPARE(view(guide)->geometry(), expected);
    closeNow(guide);
}

void tst_help::guidePageLookup_data()
{
    QTest::addColumn<bool>("beside");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("shownFrom"); // "beside", "installed" or "" for none

    QTest::newRow("beside the program") << true << false << "beside";
    QTest::newRow("beside wins over installed") << true << true << "beside";
    QTest::newRow("installed data folder") << false << true << "installed";
    QTest::newRow("nowhere") << false << false << "";
}

void tst_help::guidePageLookup()
{
    QFETCH(bool, beside);
    QFETCH(bool, installed);
    QFETCH(QString, shownFrom);
    ProgramFolder folder;
    NoInstalledData data;
    const QString besidePage = QDir(folder.path()).filePath("tour.htm");
    const QString installedPage = QDir(data.path()).filePath("tour.htm");
    if (beside)
        writeFile(besidePage, "<html><body><p>BESIDE page</p></body></html>");
    if (installed)
        writeFile(installedPage, "<html><body><p>INSTALLED page</p></body></html>");

    tour *guide = tour::showWindow();
    const QString text = view(guide)->toPlainText();
    if (shownFrom == "beside") {
        QCOMPARE(guide->pagePath(), besidePage);
        QVERIFY2(text.contains("BESIDE page"), qPrintable(text));
    } else if (shownFrom == "installed") {
        QCOMPARE(guide->pagePath(), installedPage);
        QVERIFY2(text.contains("INSTALLED page"), qPrintable(text));
    } else {
        QVERIFY(guide->pagePath().isEmpty());
        // The view says what is missing and names both places it looked.
        QVERIFY2(text.contains("找不到入门指南页面 tour.htm"), qPrintable(text));
        QVERIFY2(text.contains(folder.path()), qPrintable(text));
        QVERIFY2(text.contains(data.path()), qPrintable(text));
    }
    closeNow(guide);
}

void tst_help::shippedGuideShowsItsPictures()
{
    // The build copies the real page and its pictures beside the programs.
    ProgramFolder folder;
    db::InstalledData::setFolders({QCoreApplication::applicationDirPath()});
    tour *guide = tour::showWindow();
    QCOMPARE(guide->pagePath(), QDir(QCoreApplication::applicationDirPath()).filePath("tour.htm"));
    QTextBrowser *b = view(guide);
    QVERIFY(b->toPlainText().contains("澜岚"));

    QStringList images;
    for (QTextBlock block = b->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat())
                images << f.toImageFormat().name();
        }
    }
    // Every picture tag of the page made it into the view.
    QFile page(guide->pagePath());
    QVERIFY(page.open(QIODevice::ReadOnly));
    static const QRegularExpression tag(QStringLiteral("<img\\s[^>]*src=\"([^\"]+)\""));
    QStringList tagged;
    for (auto it = tag.globalMatch(QString::fromUtf8(page.readAll())); it.hasNext();)
        tagged << it.next().captured(1);
    QVERIFY2(tagged.size() >= 12, qPrintable(tagged.join(", ")));
    QStringList shown = images;
    shown.sort();
    tagged.sort();
    QCOMPARE(shown, tagged);

    for (const QString &name : std::as_const(images)) {
        const QVariant picture = b->loadResource(QTextDocument::ImageResource, QUrl(name));
        QVERIFY2(picture.isValid() && !picture.toByteArray().isEmpty(), qPrintable(name));
        // Shown at their own size: a picture wider than a small screen would push the
        // text beside it out of view.
        const QImage image = QImage::fromData(picture.toByteArray());
        QVERIFY2(!image.isNull(), qPrintable(name));
        QVERIFY2(image.width() <= 1024 && image.height() <= 768,
                 qPrintable(QStringLiteral("%1 is %2x%3").arg(name).arg(image.width()).arg(image.height())));
    }
    closeNow(guide);
    db::InstalledData::setFolders({});
}

void tst_help::aboutShowsNameVersionAndPicture()
{
    ProgramFolder folder;
    QPointer<About> about = About::showWindow();
    QCOMPARE(about->windowTitle(), QStringLiteral("关于澜岚"));
    QCOMPARE(about->findChild<QLabel *>("Label1")->text(), QStringLiteral("澜岚"));
    // The version comes from the build's project version.
    const QString version = about->findChild<QLabel *>("lblVersion")->text();
    QVERIFY2(version.contains(QStringLiteral(EXPECTED_VERSION)), qPrintable(version));
    auto *image = about->findChild<QLabel *>("Image1");
    QVERIFY(!image->pixmap().isNull());
    QCOMPARE(image->pixmap().size(), image->size());
    for (const char *line : {"Line1", "Line2"})
        QVERIFY(about->findChild<QFrame *>(line)->isVisible());
    closeNow(about);
}

void tst_help::aboutIsOneWindowAndOkCloses()
{
    ProgramFolder folder;
    QPointer<About> about = About::showWindow();
    QCOMPARE(About::showWindow(), about.data());
    QCOMPARE(openWindows("About").size(), 1);

    auto *ok = about->findChild<UserControl1 *>("Command1");
    QCOMPARE(ok->Caption(), QStringLiteral("确定"));
    QTest::mouseClick(ok, Qt::LeftButton, {}, ok->rect().center());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!about);
    QCOMPARE(openWindows("About").size(), 0);
}

void tst_help::helpMenuOpensTopLevelWindows()
{
    ProgramFolder folder;
    NoInstalledData installed;
    auto *w = new main_MDIForm;
    w->show();
    for (const char *item : {"menu4_1", "menu4_2"}) {
        QAction *a = w->menuItem(item);
        QVERIFY(a->isEnabled());
        a->trigger();
        a->trigger();
    }
    QCOMPARE(openWindows("tour").size(), 1);
    QCOMPARE(openWindows("About").size(), 1);
    // Neither opens inside the workspace.
    QVERIFY(w->mdiArea()->subWindowList().isEmpty());
    closeNow(openWindows("tour").value(0));
    closeNow(openWindows("About").value(0));
    delete w;
}

void tst_help::programIconHasEverySize()
{
    const QList<QSize> sizes = app::ProgramIcon().availableSizes();
    for (int s : {16, 24, 32, 48, 64, 128, 256})
        QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
    QVERIFY(!app::ProgramIcon().pixmap(48).isNull());
}

QTEST_MAIN(tst_help)
#include "tst_help.moc"
