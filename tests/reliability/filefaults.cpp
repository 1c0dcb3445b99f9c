#include "filefaults.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include "data/store/programdir.h"
#include "data/store/connection.h"
#include "hoverpad/usercontrol1.h"
#include "support/programfolder.h"
#include "support/typing.h"
#include "ui/messages.h"

namespace faults {

namespace {

const char *const kHoldFlag = "--hold-lock";

} // namespace

bool IsLockHolder(int argc, char *argv[])
{
    return argc == 4 && qstrcmp(argv[1], kHoldFlag) == 0;
}

// Another program in the middle of a write: a transaction begun and not ended, until its
// input closes. "exclusive" also keeps readers out, as a program writing out its changes does.
int HoldLock(int argc, char *argv[])
{
    if (!IsLockHolder(argc, argv))
        return 1;
    const bool exclusive = qstrcmp(argv[3], "exclusive") == 0;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    db.setDatabaseName(QString::fromLocal8Bit(argv[2]));
    if (!db.open())
        return 2;
    QSqlQuery q(db);
    if (!q.exec(exclusive ? QStringLiteral("BEGIN EXCLUSIVE") : QStringLiteral("BEGIN IMMEDIATE"))
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

void RunAsNobody()
{
    if (::geteuid() != 0)
        return;
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
        qFatal("cannot run as nobody");
    qputenv("HOME", "/tmp");
}

QByteArray BytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

namespace {

class ReadOnlyFault : public FileFault
{
public:
    void apply(const QString &file) override { QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther); }
    void remove(const QString &file) override { QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner); }
};

class LockedFault : public FileFault
{
public:
    explicit LockedFault(bool exclusive) : m_exclusive(exclusive) {}
    void apply(const QString &file) override
    {
        m_holder.start(QCoreApplication::applicationFilePath(),
                       {QString::fromLatin1(kHoldFlag), file, m_exclusive ? QStringLiteral("exclusive") : QStringLiteral("write")});
        if (!m_holder.waitForStarted() || !m_holder.waitForReadyRead(10000) || !m_holder.readLine().startsWith("locked"))
            qFatal("the other program could not lock the file");
    }
    void remove(const QString &) override
    {
        m_holder.closeWriteChannel();
        m_holder.waitForFinished(10000);
    }

private:
    bool m_exclusive;
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
        m_kept = BytesOf(file);
        WriteBytes(file, m_damage(m_kept));
    }
    void remove(const QString &file) override { WriteBytes(file, m_kept); }

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

} // namespace

QList<FaultKind> FaultKinds()
{
    return {
        {QStringLiteral("read-only"), QStringLiteral("数据库文件是只读的"), [] { return std::make_unique<ReadOnlyFault>(); }},
        {QStringLiteral("locked by another program"), QStringLiteral("正被其他程序占用"), [] { return std::make_unique<LockedFault>(false); }},
        {QStringLiteral("locked exclusively by another program"), QStringLiteral("正被其他程序占用"),
         [] { return std::make_unique<LockedFault>(true); }},
        {QStringLiteral("missing"), QStringLiteral("找不到数据库文件"), [] { return std::make_unique<MissingFault>(); }},
        {QStringLiteral("cut short"), QStringLiteral("已损坏"),
         [] { return std::make_unique<DamageFault>([](const QByteArray &b) { return b.left(b.size() / 2 + 100); }); }},
        {QStringLiteral("not a database"), QStringLiteral("不是数据库文件"),
         [] { return std::make_unique<DamageFault>([](const QByteArray &b) { return QByteArray("店铺账本，不是数据库。\n").repeated(b.size() / 64 + 1); }); }},
        {QStringLiteral("full"), QStringLiteral("磁盘已满"), [] { return std::make_unique<FullFault>(); }},
    };
}

void OpenDemoShop(const testsupport::ProgramFolder &pf)
{
    QFile::remove(pf.realFile());
    if (!QFile::copy(pf.demoFile(), pf.realFile()))
        qFatal("cannot copy the demonstration file");
    QFile::setPermissions(pf.realFile(), QFile::ReadOwner | QFile::WriteOwner);
    for (bool demo : {false, true})
        pf.exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES ('店主', 'pw')"), {}, demo);
    db::Session::setCurrentUser(QStringLiteral("店主"));
    db::Session::setCurrentPassword(QStringLiteral("pw"));
}

UserControl1 *Button(QWidget *w, const QString &name)
{
    auto *b = w ? w->findChild<UserControl1 *>(name) : nullptr;
    if (!b)
        qFatal("no button %s", qPrintable(name));
    return b;
}

void Click(QWidget *w, const QString &name)
{
    UserControl1 *b = Button(w, name);
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    QApplication::processEvents();
}

QString TextOf(QWidget *w, const QString &name)
{
    auto *box = w ? w->findChild<QWidget *>(name) : nullptr;
    return box ? testsupport::TextOf(box) : QString();
}

void Enter(QWidget *w, const QString &name, const QString &text)
{
    testsupport::Enter(w->findChild<QWidget *>(name), text, testsupport::Entry::Typed);
}

QStringList InformationTexts(const msg::Recorder &rec)
{
    QStringList out;
    for (const auto &b : rec.boxes()) {
        if (b.kind == msg::Recorder::Box::Information)
            out << b.text;
    }
    return out;
}

} // namespace faults
