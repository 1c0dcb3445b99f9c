#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include <unistd.h>

#include "app/firstaccount_dialog.h"
#include "app/gz_loginer_form.h"
#include "app/gz_pwd_form.h"
#include "app/main_mdiform.h"
#include "app/password_form.h"
#include "data/store/connection.h"
#include "data/shop/demodata.h"
#include "data/store/programdir.h"
#include "discs/input_form.h"
#include "filefaults.h"
#include "hoverpad/usercontrol1.h"
#include "lists/list_form.h"
#include "support/filedigest.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "support/typing.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"

using testsupport::ProgramFolder;

// Each window's submit meets a data file that is read-only, held by another program,
// missing, cut short, not a database, or full: it names the reason, writes nothing
// half-way, keeps what the clerk entered, and works once the fault is gone.
//
// Root may write any file, so this program runs as "nobody" when started as root.

namespace {

struct Fixture
{
    ProgramFolder *pf = nullptr;
    msg::Recorder *rec = nullptr;
    QPointer<QWidget> window;
    QPointer<main_MDIForm> main;
    QString cover;
    qint64 disc = 0;
    QList<qint64> selected;
    int loginsBefore = 0;
};

struct WindowCase
{
    QString name;
    bool demoFile;       // the fault hits demo.sqlite rather than the file in use
    QString successText; // shown by a successful submit; empty when it shows nothing
    std::function<void(Fixture &)> open;   // opens the window and enters the clerk's input
    std::function<void(Fixture &)> submit;
    std::function<bool(Fixture &)> kept;   // the input is still there, the window still open
    std::function<bool(Fixture &)> done;   // the rows of a successful submit are all there
};

void chooseCover(Fixture &f, QWidget *w)
{
    input_Form::setFileChooser([cover = f.cover](QWidget *, const QString &, const QString &, const QString &) { return cover; });
    auto *image = w->findChild<QWidget *>(QStringLiteral("Image1"));
    QTest::mouseClick(image, Qt::LeftButton, {}, image->rect().center());
    input_Form::setFileChooser({});
}

QList<WindowCase> windowCases()
{
    QList<WindowCase> cases;
    cases << WindowCase{
        QStringLiteral("disc entry: add"), false, QStringLiteral("数据添加完成！"),
        [](Fixture &f) {
            auto *w = new input_Form;
            w->show();
            f.window = w;
            faults::Enter(w, "Text1_11", QStringLiteral("新到的碟"));
            faults::Enter(w, "Text1_40", QStringLiteral("留言"));
            chooseCover(f, w);
        },
        [](Fixture &f) { faults::Click(f.window, QStringLiteral("button1_1")); },
        [](Fixture &f) {
            return f.window && faults::TextOf(f.window, "Text1_11") == QStringLiteral("新到的碟")
                && faults::TextOf(f.window, "Text1_40") == QStringLiteral("留言") && faults::TextOf(f.window, "Text2") == f.cover;
        },
        [](Fixture &f) {
            return f.pf->scalar("SELECT count(*) FROM table1 WHERE t13 = '新到的碟' AND t41 = '留言' AND img1 = ?",
                                {faults::BytesOf(f.cover)}).toInt() == 1;
        }};
    cases << WindowCase{
        QStringLiteral("disc entry: correction"), false, QStringLiteral("数据更改完毕！"),
        [](Fixture &f) {
            f.disc = f.pf->scalar("SELECT min(id) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL").toLongLong();
            f.window = input_Form::openForCorrection(f.disc);
            faults::Enter(f.window, "Text1_11", QStringLiteral("改过的名字"));
            chooseCover(f, f.window);
        },
        [](Fixture &f) { faults::Click(f.window, QStringLiteral("button1_1")); },
        [](Fixture &f) { return f.window && f.window->isVisible() && faults::TextOf(f.window, "Text1_11") == QStringLiteral("改过的名字"); },
        [](Fixture &f) {
            return f.pf->scalar("SELECT count(*) FROM table1 WHERE id = ? AND t13 = '改过的名字' AND img1 = ?",
                                {f.disc, faults::BytesOf(f.cover)}).toInt() == 1;
        }};
    cases << WindowCase{
        QStringLiteral("disc list: delete"), false, QString(),
        [](Fixture &f) {
            auto *w = new list_Form;
            f.window = w;
            ui::ReloadFlag::set();
            w->show();
            w->activate();
            ui::ListGrid *g = w->grid();
            const QPoint from = g->cellRect(1, 0).center(), to = g->cellRect(3, 0).center();
            QTest::mousePress(g->viewport(), Qt::LeftButton, {}, from);
            for (int r = 1; r <= 3; ++r) {
                const QPoint p = g->cellRect(r, 0).center();
                QMouseEvent move(QEvent::MouseMove, p, g->viewport()->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(g->viewport(), &move);
            }
            QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, to);
            for (int r = 1; r <= 3; ++r)
                f.selected << w->rowRecord(r);
        },
        [](Fixture &f) { faults::Click(f.window, QStringLiteral("button2")); },
        [](Fixture &f) {
            auto *w = qobject_cast<list_Form *>(f.window.data());
            if (!w || w->selectedRow() != 1 || w->grid()->RowSel() != 3)
                return false;
            for (int r = 1; r <= 3; ++r) {
                if (w->rowRecord(r) != f.selected[r - 1])
                    return false;
            }
            return true;
        },
        [](Fixture &f) {
            for (qint64 id : f.selected) {
                if (!f.pf->scalar("SELECT t13 FROM table1 WHERE id = ?", {id}).isNull())
                    return false;
            }
            return f.selected.size() == 3;
        }};
    cases << WindowCase{
        QStringLiteral("login"), false, QString(),
        [](Fixture &f) {
            f.main = new main_MDIForm;
            f.loginsBefore = f.pf->scalar("SELECT count(*) FROM table8").toInt();
            f.window = Password_Form::open();
            faults::Enter(f.window, "Text1", QStringLiteral("店主"));
            faults::Enter(f.window, "Text2", QStringLiteral("pw"));
        },
        [](Fixture &f) { faults::Click(f.window, QStringLiteral("button1")); },
        [](Fixture &f) {
            return f.window && f.window->isVisible() && faults::TextOf(f.window, "Text1") == QStringLiteral("店主")
                && faults::TextOf(f.window, "Text2") == QStringLiteral("pw") && db::Session::CurrentUser().isEmpty();
        },
        [](Fixture &f) {
            return db::Session::CurrentUser() == QStringLiteral("店主") && f.main->isEnabled()
                && f.pf->scalar("SELECT count(*) FROM table8").toInt() == f.loginsBefore + 1;
        }};
    cases << WindowCase{
        QStringLiteral("change user name"), false, QStringLiteral("用户名更改完毕！"),
        [](Fixture &f) {
            f.window = gz_Loginer_Form::showWindow();
            faults::Enter(f.window, "Text1", QStringLiteral("店主"));
            faults::Enter(f.window, "Text2", QStringLiteral("pw"));
            faults::Enter(f.window, "Text3", QStringLiteral("老板"));
            faults::Enter(f.window, "Text4", QStringLiteral("老板"));
        },
        [](Fixture &f) { faults::Click(f.window, QStringLiteral("button1")); },
        [](Fixture &f) {
            return f.window && f.window->isVisible() && faults::TextOf(f.window, "Text3") == QStringLiteral("老板")
                && faults::TextOf(f.window, "Text4") == QStringLiteral("老板") && db::Session::CurrentUser() == QStringLiteral("店主");
        },
        [](Fixture &f) {
            return f.pf->scalar("SELECT t1 FROM table7 WHERE t2 = 'pw'").toString() == QStringLiteral("老板")
                && db::Session::CurrentUser() == QStringLiteral("老板");
        }};
    cases << WindowCase{
        QStringLiteral("change password"), false, QStringLiteral("新密码更改完毕！"),
        [](Fixture &f) {
            f.window = gz_PWD_Form::showWindow();
            faults::Enter(f.window, "Text1", QStringLiteral("店主"));
            faults::Enter(f.window, "Text2", QStringLiteral("pw"));
            faults::Enter(f.window, "Text3", QStringLiteral("新密码"));
            faults::Enter(f.window, "Text4", QStringLiteral("新密码"));
        },
        [](Fixture &f) { faults::Click(f.window, QStringLiteral("button1")); },
        [](Fixture &f) {
            return f.window && f.window->isVisible() && faults::TextOf(f.window, "Text3") == QStringLiteral("新密码")
                && db::Session::CurrentPassword() == QStringLiteral("pw");
        },
        [](Fixture &f) {
            return f.pf->scalar("SELECT t2 FROM table7 WHERE t1 = '店主'").toString() == QStringLiteral("新密码")
                && db::Session::CurrentPassword() == QStringLiteral("新密码");
        }};
    cases << WindowCase{
        QStringLiteral("data switch"), true, QString(),
        [](Fixture &f) {
            // Logged in the way the program starts: the login window over the main window.
            f.main = new main_MDIForm;
            db::Session::setCurrentUser(QString());
            QWidget *login = Password_Form::open();
            faults::Enter(login, "Text1", QStringLiteral("店主"));
            faults::Enter(login, "Text2", QStringLiteral("pw"));
            faults::Click(login, QStringLiteral("button1"));
            f.window = f.main;
            f.loginsBefore = f.pf->scalar("SELECT count(*) FROM table8", {}, true).toInt();
        },
        [](Fixture &f) { f.main->menuItem(QStringLiteral("menu4_4"))->trigger(); QApplication::processEvents(); },
        [](Fixture &f) {
            // The data in use stays the real file, and says so.
            return !db::DemoData::enabled() && !f.main->menuItem(QStringLiteral("menu4_4"))->isChecked()
                && f.main->isEnabled();
        },
        [](Fixture &f) {
            return db::DemoData::enabled() && f.main->menuItem(QStringLiteral("menu4_4"))->isChecked()
                && f.pf->scalar("SELECT count(*) FROM table8", {}, true).toInt() == f.loginsBefore + 1;
        }};
    cases << WindowCase{
        QStringLiteral("first account"), false, QString(),
        [](Fixture &f) {
            f.pf->exec("DELETE FROM table7");
            f.pf->exec("DELETE FROM table7", {}, true);
            auto *w = new FirstAccount_Dialog;
            w->show();
            f.window = w;
            faults::Enter(w, "Text1", QStringLiteral("店主"));
            faults::Enter(w, "Text2", QStringLiteral("pw"));
            faults::Enter(w, "Text3", QStringLiteral("pw"));
        },
        [](Fixture &f) { faults::Click(f.window, QStringLiteral("button1")); },
        [](Fixture &f) {
            auto *d = qobject_cast<QDialog *>(f.window.data());
            return d && d->result() != QDialog::Accepted && faults::TextOf(d, "Text1") == QStringLiteral("店主")
                && faults::TextOf(d, "Text3") == QStringLiteral("pw");
        },
        [](Fixture &f) {
            auto *d = qobject_cast<QDialog *>(f.window.data());
            return d && d->result() == QDialog::Accepted
                && f.pf->scalar("SELECT count(*) FROM table7 WHERE t1 = '店主' AND t2 = 'pw'").toInt() == 1
                && f.pf->scalar("SELECT count(*) FROM table7 WHERE t1 = '店主' AND t2 = 'pw'", {}, true).toInt() == 1;
        }};
    return cases;
}

} // namespace

Q_DECLARE_METATYPE(WindowCase)
Q_DECLARE_METATYPE(faults::FaultKind)

class tst_faults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void submitMeetsFault_data();
    void submitMeetsFault();

private:
    QStringList m_outcomes;
};

void tst_faults::initTestCase()
{
    // Root writes read-only files; the read-only fault would mean nothing.
    QVERIFY(::geteuid() != 0);
}

void tst_faults::cleanup()
{
    testsupport::DeleteAllWindows();
    db::Connection::setTestPragmas({});
    ui::ReloadFlag::clear();
}

void tst_faults::cleanupTestCase()
{
    for (const QString &o : std::as_const(m_outcomes))
        qInfo("%s", qPrintable(o));
}

void tst_faults::submitMeetsFault_data()
{
    QTest::addColumn<WindowCase>("window");
    QTest::addColumn<faults::FaultKind>("fault");
    for (const WindowCase &w : windowCases()) {
        for (const faults::FaultKind &f : faults::FaultKinds())
            QTest::newRow(qPrintable(w.name + QStringLiteral(", ") + f.name)) << w << f;
    }
}

void tst_faults::submitMeetsFault()
{
    QFETCH(WindowCase, window);
    QFETCH(faults::FaultKind, fault);
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    faults::OpenDemoShop(pf);
    if (window.name == QStringLiteral("login"))
        db::Session::setCurrentUser(QString());
    msg::Recorder rec;
    Fixture f;
    f.pf = &pf;
    f.rec = &rec;
    f.cover = pf.path() + QStringLiteral("/cover.bmp");
    faults::WriteBytes(f.cover, db::MakeCoverBmp(320, 400, 3));
    window.open(f);
    QVERIFY2(rec.texts().isEmpty(), qPrintable(rec.texts().join('|')));
    QVERIFY(window.kept(f));

    const QString file = window.demoFile ? pf.demoFile() : pf.realFile();
    QString error;
    const QByteArray before = testsupport::ContentDigest(file, &error);
    QVERIFY2(!before.isEmpty(), qPrintable(error));

    std::unique_ptr<faults::FileFault> faulty = fault.make();
    faulty->apply(file);
    const QByteArray faultyBytes = faults::BytesOf(file);
    window.submit(f);
    const QStringList said = faults::InformationTexts(rec);
    QString outcome;
    if (fault.name == QStringLiteral("full") && window.done(f)) {
        // A write that fits into the pages the file already has needs no room.
        QCOMPARE(said, window.successText.isEmpty() ? QStringList{} : QStringList{window.successText});
        outcome = QStringLiteral("saved completely (needed no room)");
    } else {
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().contains(fault.reason), qPrintable(said.first()));
        QVERIFY2(said.first().contains(QFileInfo(file).fileName()), qPrintable(said.first()));
        QVERIFY2(window.kept(f), "the clerk's input is gone");
        if (faulty->leavesFileToCompare())
            QVERIFY2(faults::BytesOf(file) == faultyBytes, "the faulty file was written to");
        else
            QVERIFY2(!QFileInfo::exists(file), "a missing file was created anew");
        outcome = QStringLiteral("reported: ") + said.first().section(QLatin1Char('\n'), 0, 0);
    }
    faulty->remove(file);
    faulty.reset();

    if (!outcome.startsWith(QStringLiteral("saved"))) {
        // Nothing of the refused submit reached the file.
        QCOMPARE(testsupport::ContentDigest(file), before);
        // The program goes on: the same submit works now.
        rec.clear();
        window.submit(f);
        QCOMPARE(faults::InformationTexts(rec), window.successText.isEmpty() ? QStringList{} : QStringList{window.successText});
        QVERIFY2(window.done(f), "the second submit did not store everything");
    }
    m_outcomes << QStringLiteral("%1 / %2: %3").arg(window.name, fault.name, outcome);
    QCOMPARE(pf.problems(), QString());
    QCOMPARE(pf.problems(true), QString());
}

int main(int argc, char *argv[])
{
    if (faults::IsLockHolder(argc, argv)) {
        QCoreApplication app(argc, argv);
        return faults::HoldLock(argc, argv);
    }
    faults::RunAsNobody();
    QApplication app(argc, argv);
    tst_faults t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_faults.moc"
