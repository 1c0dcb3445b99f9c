#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include "app/firstaccount_dialog.h"
#include "app/gz_loginer_form.h"
#include "app/gz_pwd_form.h"
#include "app/main_mdiform.h"
#include "app/password_form.h"
#include "data/connection.h"
#include "data/demodata.h"
#include "data/programdir.h"
#include "discs/input_form.h"
#include "hoverpad/usercontrol1.h"
#include "lists/list_form.h"
#include "support/filedigest.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "support/typing.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"

using testsupport::Entry;
using testsupport::ProgramFolder;

// Each window's submit meets a data file that is read-only, held by another program,
// missing, cut short, not a database, or full: it names the reason, writes nothing
// half-way, keeps what the clerk entered, and works once the fault is gone.
//
// Root may write any file, so this program runs as "nobody" when started as root.

namespace {

const char *const kHoldFlag = "--hold-write-lock";

// Another program in the middle of a write: a transaction begun and not ended, until its
// input closes.
int holdWriteLock(const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    db.setDatabaseName(path);
    if (!db.open())
        return 2;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))
        || !q.exec(QStringLiteral("INSERT INTO table8 (loginer) VALUES ('另一个程序')")))
        return 3;
    std::printf("locked\n");
    std::fflush(stdout);
    char buf[16];
    while (std::fread(buf, 1, sizeof buf, stdin) > 0) {
    }
    q.exec(QStringLiteral("ROLLBACK"));
    return 0;
}

void runAsNobody()
{
    if (::geteuid() != 0)
        return;
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
        qFatal("cannot run as nobody");
    qputenv("HOME", "/tmp");
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

UserControl1 *button(QWidget *w, const QString &name)
{
    auto *b = w ? w->findChild<UserControl1 *>(name) : nullptr;
    if (!b)
        qFatal("no button %s", qPrintable(name));
    return b;
}

void click(QWidget *w, const QString &name)
{
    UserControl1 *b = button(w, name);
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    QApplication::processEvents();
}

QString textOf(QWidget *w, const QString &name)
{
    auto *box = w ? w->findChild<QWidget *>(name) : nullptr;
    return box ? testsupport::TextOf(box) : QString();
}

void enter(QWidget *w, const QString &name, const QString &text)
{
    testsupport::Enter(w->findChild<QWidget *>(name), text, Entry::Typed);
}

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
            enter(w, "Text1_11", QStringLiteral("新到的碟"));
            enter(w, "Text1_40", QStringLiteral("留言"));
            chooseCover(f, w);
        },
        [](Fixture &f) { click(f.window, QStringLiteral("button1_1")); },
        [](Fixture &f) {
            return f.window && textOf(f.window, "Text1_11") == QStringLiteral("新到的碟")
                && textOf(f.window, "Text1_40") == QStringLiteral("留言") && textOf(f.window, "Text2") == f.cover;
        },
        [](Fixture &f) {
            return f.pf->scalar("SELECT count(*) FROM table1 WHERE t13 = '新到的碟' AND t41 = '留言' AND img1 = ?",
                                {bytesOf(f.cover)}).toInt() == 1;
        }};
    cases << WindowCase{
        QStringLiteral("disc entry: correction"), false, QStringLiteral("数据更改完毕！"),
        [](Fixture &f) {
            f.disc = f.pf->scalar("SELECT min(id) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL").toLongLong();
            f.window = input_Form::openForCorrection(f.disc);
            enter(f.window, "Text1_11", QStringLiteral("改过的名字"));
            chooseCover(f, f.window);
        },
        [](Fixture &f) { click(f.window, QStringLiteral("button1_1")); },
        [](Fixture &f) { return f.window && f.window->isVisible() && textOf(f.window, "Text1_11") == QStringLiteral("改过的名字"); },
        [](Fixture &f) {
            return f.pf->scalar("SELECT count(*) FROM table1 WHERE id = ? AND t13 = '改过的名字' AND img1 = ?",
                                {f.disc, bytesOf(f.cover)}).toInt() == 1;
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
        [](Fixture &f) { click(f.window, QStringLiteral("button2")); },
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
            enter(f.window, "Text1", QStringLiteral("店主"));
            enter(f.window, "Text2", QStringLiteral("pw"));
        },
        [](Fixture &f) { click(f.window, QStringLiteral("button1")); },
        [](Fixture &f) {
            return f.window && f.window->isVisible() && textOf(f.window, "Text1") == QStringLiteral("店主")
                && textOf(f.window, "Text2") == QStringLiteral("pw") && db::Session::CurrentUser().isEmpty();
        },
        [](Fixture &f) {
            return db::Session::CurrentUser() == QStringLiteral("店主") && f.main->isEnabled()
                && f.pf->scalar("SELECT count(*) FROM table8").toInt() == f.loginsBefore + 1;
        }};
    cases << WindowCase{
        QStringLiteral("change user name"), false, QStringLiteral("用户名更改完毕！"),
        [](Fixture &f) {
            f.window = gz_Loginer_Form::showWindow();
            enter(f.window, "Text1", QStringLiteral("店主"));
            enter(f.window, "Text2", QStringLiteral("pw"));
            enter(f.window, "Text3", QStringLiteral("老板"));
            enter(f.window, "Text4", QStringLiteral("老板"));
        },
        [](Fixture &f) { click(f.window, QStringLiteral("button1")); },
        [](Fixture &f) {
            return f.window && f.window->isVisible() && textOf(f.window, "Text3") == QStringLiteral("老板")
                && textOf(f.window, "Text4") == QStringLiteral("老板") && db::Session::CurrentUser() == QStringLiteral("店主");
        },
        [](Fixture &f) {
            return f.pf->scalar("SELECT t1 FROM table7 WHERE t2 = 'pw'").toString() == QStringLiteral("老板")
                && db::Session::CurrentUser() == QStringLiteral("老板");
        }};
    cases << WindowCase{
        QStringLiteral("change password"), false, QStringLiteral("新密码更改完毕！"),
        [](Fixture &f) {
            f.window = gz_PWD_Form::showWindow();
            enter(f.window, "Text1", QStringLiteral("店主"));
            enter(f.window, "Text2", QStringLiteral("pw"));
            enter(f.window, "Text3", QStringLiteral("新密码"));
            enter(f.window, "Text4", QStringLiteral("新密码"));
        },
        [](Fixture &f) { click(f.window, QStringLiteral("button1")); },
        [](Fixture &f) {
            return f.window && f.window->isVisible() && textOf(f.window, "Text3") == QStringLiteral("新密码")
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
            enter(login, "Text1", QStringLiteral("店主"));
            enter(login, "Text2", QStringLiteral("pw"));
            click(login, QStringLiteral("button1"));
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
            enter(w, "Text1", QStringLiteral("店主"));
            enter(w, "Text2", QStringLiteral("pw"));
            enter(w, "Text3", QStringLiteral("pw"));
        },
        [](Fixture &f) { click(f.window, QStringLiteral("button1")); },
        [](Fixture &f) {
            auto *d = qobject_cast<QDialog *>(f.window.data());
            return d && d->result() != QDialog::Accepted && textOf(d, "Text1") == QStringLiteral("店主")
                && textOf(d, "Text3") == QStringLiteral("pw");
        },
        [](Fixture &f) {
            auto *d = qobject_cast<QDialog *>(f.window.data());
            return d && d->result() == QDialog::Accepted
                && f.pf->scalar("SELECT count(*) FROM table7 WHERE t1 = '店主' AND t2 = 'pw'").toInt() == 1
                && f.pf->scalar("SELECT count(*) FROM table7 WHERE t1 = '店主' AND t2 = 'pw'", {}, true).toInt() == 1;
        }};
    return cases;
}

// A fault of the data file: put on before the submit, taken off after it.
class FileFault
{
public:
    virtual ~FileFault() = default;
    virtual void apply(const QString &file) = 0;
    virtual void remove(const QString &file) = 0;
    // The file as the fault left it must still be exactly so after a refused submit.
    virtual bool leavesFileToCompare() const { return true; }
};

class ReadOnlyFault : public FileFault
{
public:
    void apply(const QString &file) override { QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther); }
    void remove(const QString &file) override { QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner); }
};

class LockedFault : public FileFault
{
public:
    void apply(const QString &file) override
    {
        m_holder.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kHoldFlag), file});
        if (!m_holder.waitForStarted() || !m_holder.waitForReadyRead(10000) || !m_holder.readLine().startsWith("locked"))
            qFatal("the other program could not lock the file");
    }
    void remove(const QString &) override
    {
        m_holder.closeWriteChannel();
        m_holder.waitForFinished(10000);
    }

private:
    QProcess m_holder;
};

class MissingFault : public FileFault
{
public:
    void apply(const QString &file) override { QFile::rename(file, file + QStringLiteral(".away")); }
    void remove(const QString &file) override { QFile::rename(file + QStringLiteral(".away"), file); }
    bool leavesFileToCompare() const override { return false; }
};

// Replaces the file's bytes until removed.
class DamageFault : public FileFault
{
public:
    explicit DamageFault(std::function<QByteArray(const QByteArray &)> damage) : m_damage(std::move(damage)) {}
    void apply(const QString &file) override
    {
        m_kept = bytesOf(file);
        writeBytes(file, m_damage(m_kept));
    }
    void remove(const QString &file) override { writeBytes(file, m_kept); }

private:
    std::function<QByteArray(const QByteArray &)> m_damage;
    QByteArray m_kept;
};

// The file may not grow by a single page: what a full disk does to a write that needs room.
class FullFault : public FileFault
{
public:
    void apply(const QString &) override { db::Connection::setTestPragmas({QStringLiteral("PRAGMA max_page_count = 1")}); }
    void remove(const QString &) override { db::Connection::setTestPragmas({}); }
};

struct FaultKind
{
    QString name;
    QString reason; // what the message must say
    std::function<std::unique_ptr<FileFault>()> make;
};

QList<FaultKind> faultKinds()
{
    return {
        {QStringLiteral("read-only"), QStringLiteral("数据库文件是只读的"), [] { return std::make_unique<ReadOnlyFault>(); }},
        {QStringLiteral("locked by another program"), QStringLiteral("正被其他程序占用"), [] { return std::make_unique<LockedFault>(); }},
        {QStringLiteral("missing"), QStringLiteral("找不到数据库文件"), [] { return std::make_unique<MissingFault>(); }},
        {QStringLiteral("cut short"), QStringLiteral("已损坏"),
         [] { return std::make_unique<DamageFault>([](const QByteArray &b) { return b.left(b.size() / 2 + 100); }); }},
        {QStringLiteral("not a database"), QStringLiteral("不是数据库文件"),
         [] { return std::make_unique<DamageFault>([](const QByteArray &b) { return QByteArray("店铺账本，不是数据库。\n").repeated(b.size() / 64 + 1); }); }},
        {QStringLiteral("full"), QStringLiteral("磁盘已满"), [] { return std::make_unique<FullFault>(); }},
    };
}

QStringList informationTexts(const msg::Recorder &rec)
{
    QStringList out;
    for (const auto &b : rec.boxes()) {
        if (b.kind == msg::Recorder::Box::Information)
            out << b.text;
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(WindowCase)
Q_DECLARE_METATYPE(FaultKind)

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
    QTest::addColumn<FaultKind>("fault");
    for (const WindowCase &w : windowCases()) {
        for (const FaultKind &f : faultKinds())
            QTest::newRow(qPrintable(w.name + QStringLiteral(", ") + f.name)) << w << f;
    }
}

void tst_faults::submitMeetsFault()
{
    QFETCH(WindowCase, window);
    QFETCH(FaultKind, fault);
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    // The file in use holds the demonstration shop too, and both know the shop keeper.
    QFile::remove(pf.realFile());
    QVERIFY(QFile::copy(pf.demoFile(), pf.realFile()));
    QFile::setPermissions(pf.realFile(), QFile::ReadOwner | QFile::WriteOwner);
    for (bool demo : {false, true})
        pf.exec("INSERT INTO table7 (t1, t2) VALUES ('店主', 'pw')", {}, demo);
    db::Session::setCurrentUser(QStringLiteral("店主"));
    db::Session::setCurrentPassword(QStringLiteral("pw"));
    if (window.name == QStringLiteral("login"))
        db::Session::setCurrentUser(QString());
    msg::Recorder rec;
    Fixture f;
    f.pf = &pf;
    f.rec = &rec;
    f.cover = pf.path() + QStringLiteral("/cover.bmp");
    writeBytes(f.cover, db::MakeCoverBmp(320, 400, 3));
    window.open(f);
    QVERIFY2(rec.texts().isEmpty(), qPrintable(rec.texts().join('|')));
    QVERIFY(window.kept(f));

    const QString file = window.demoFile ? pf.demoFile() : pf.realFile();
    QString error;
    const QByteArray before = testsupport::ContentDigest(file, &error);
    QVERIFY2(!before.isEmpty(), qPrintable(error));

    std::unique_ptr<FileFault> faulty = fault.make();
    faulty->apply(file);
    const QByteArray faultyBytes = bytesOf(file);
    window.submit(f);
    const QStringList said = informationTexts(rec);
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
            QVERIFY2(bytesOf(file) == faultyBytes, "the faulty file was written to");
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
        QCOMPARE(informationTexts(rec), window.successText.isEmpty() ? QStringList{} : QStringList{window.successText});
        QVERIFY2(window.done(f), "the second submit did not store everything");
    }
    m_outcomes << QStringLiteral("%1 / %2: %3").arg(window.name, fault.name, outcome);
    QCOMPARE(pf.problems(), QString());
    QCOMPARE(pf.problems(true), QString());
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], kHoldFlag) == 0) {
        QCoreApplication app(argc, argv);
        return holdWriteLock(QString::fromLocal8Bit(argv[2]));
    }
    runAsNobody();
    QApplication app(argc, argv);
    tst_faults t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_faults.moc"
