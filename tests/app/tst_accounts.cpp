#include <QFile>
#include <QTest>

#include "data/shop/accounts.h"
#include "data/store/clock.h"
#include "data/store/programdir.h"
#include "support/programfolder.h"

using db::LoginOutcome;
using testsupport::ProgramFolder;

Q_DECLARE_METATYPE(db::LoginOutcome)

namespace {
const QVariant NoPassword = QVariant(QMetaType(QMetaType::QString));

void addUser(const ProgramFolder &f, const QString &name, const QVariant &password, bool demo = false)
{
    f.exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES (?, ?)"), {name, password}, demo);
}

QList<QVariantList> users(const ProgramFolder &f, bool demo = false)
{
    return f.rows(QStringLiteral("SELECT t1, t2 FROM table7 ORDER BY id"), {}, demo);
}
} // namespace

class tst_accounts : public QObject
{
    Q_OBJECT
private slots:
    void checkLogin_data();
    void checkLogin();
    void everyLoginLoggedInFileInUse();
    void checkLoginReportsUnreadableFile();
    void renameChangesOnlyCurrentUsersRow_data();
    void renameChangesOnlyCurrentUsersRow();
    void changePassword_data();
    void changePassword();
    void firstAccountGoesIntoBothFiles_data();
    void firstAccountGoesIntoBothFiles();
    void firstAccountIsAllOrNothing_data();
    void firstAccountIsAllOrNothing();
    void firstAccountUpdatesSameUserInDemoFile();
};

void tst_accounts::checkLogin_data()
{
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QVariant>("storedPassword");
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<LoginOutcome>("expected");

    const auto ok = LoginOutcome::Ok;
    const auto wrong = LoginOutcome::WrongNameOrPassword;
    QTest::newRow("no password, empty field") << "boss" << NoPassword << "boss" << "" << ok;
    QTest::newRow("no password, typed password") << "boss" << NoPassword << "boss" << "x" << wrong;
    QTest::newRow("password, empty field") << "boss" << QVariant("pw") << "boss" << "" << wrong;
    QTest::newRow("password matches") << "boss" << QVariant("pw") << "boss" << "pw" << ok;
    QTest::newRow("wrong password") << "boss" << QVariant("pw") << "boss" << "pw2" << wrong;
    QTest::newRow("unknown user") << "boss" << QVariant("pw") << "clerk" << "pw" << wrong;
    QTest::newRow("name case ignored") << "admin" << QVariant("pw") << "Admin" << "pw" << ok;
    QTest::newRow("password case ignored") << "admin" << QVariant("Secret") << "admin" << "sECRET" << ok;
    QTest::newRow("trailing blank in name") << "boss" << QVariant("pw") << "boss " << "pw" << wrong;
    QTest::newRow("blanks in password as typed") << "boss" << QVariant(" pw ") << "boss" << " pw " << ok;
    QTest::newRow("quotes and wildcards, exact") << "o'brien%_" << QVariant("p'%_\"") << "o'brien%_" << "p'%_\"" << ok;
    QTest::newRow("wildcard is literal") << "o'brien%_" << QVariant("p'%_\"") << "o'brien%_" << "%" << wrong;
    QTest::newRow("wildcard name") << "boss" << QVariant("pw") << "%" << "pw" << wrong;
    QTest::newRow("or-true injection") << "boss" << QVariant("pw") << "boss" << "x' OR '1'='1" << wrong;
    QTest::newRow("comment injection") << "boss" << QVariant("pw") << "boss'--" << "" << wrong;
    QTest::newRow("injection text stored, exact") << "x' OR '1'='1" << QVariant("';DROP TABLE table7;--")
                                                  << "x' OR '1'='1" << "';DROP TABLE table7;--" << ok;
}

void tst_accounts::checkLogin()
{
    QFETCH(QString, storedName);
    QFETCH(QVariant, storedPassword);
    QFETCH(QString, typedName);
    QFETCH(QString, typedPassword);
    QFETCH(LoginOutcome, expected);

    ProgramFolder f;
    addUser(f, QStringLiteral("other"), QVariant("other"));
    addUser(f, storedName, storedPassword);
    const qint64 id = f.scalar(QStringLiteral("SELECT MAX(id) FROM table7")).toLongLong();

    const db::LoginResult r = db::CheckLogin(typedName, typedPassword);
    QCOMPARE(r.outcome, expected);
    const auto log = f.rows(QStringLiteral("SELECT loginer_id, loginer, login_time FROM table8"));
    QCOMPARE(users(f).size(), 2); // nothing dropped or added by the typed text
    if (expected == LoginOutcome::Ok) {
        QCOMPARE(r.userId, id);
        QCOMPARE(db::Session::CurrentUser(), typedName);
        QCOMPARE(db::Session::CurrentPassword(), typedPassword);
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0][0].toLongLong(), id);
        QCOMPARE(log[0][1].toString(), typedName);
    } else {
        QCOMPARE(db::Session::CurrentUser(), QString());
        QCOMPARE(log.size(), 0);
    }
}

void tst_accounts::everyLoginLoggedInFileInUse()
{
    ProgramFolder f;
    addUser(f, QStringLiteral("boss"), QVariant("pw"));
    addUser(f, QStringLiteral("boss"), QVariant("pw"), true);

    db::Clock::setFixed(QDateTime(testsupport::Today(), QTime(9, 5, 3)));
    QVERIFY(db::CheckLogin(QStringLiteral("boss"), QStringLiteral("pw")).ok());
    QCOMPARE(f.rows(QStringLiteral("SELECT login_time FROM table8")),
             QList<QVariantList>({{QStringLiteral("2026-03-15 09:05:03")}}));

    db::DemoData::setEnabled(true);
    db::Clock::setFixed(QDateTime(testsupport::Today(), QTime(17, 40, 0)));
    QVERIFY(db::CheckLogin(QStringLiteral("boss"), QStringLiteral("pw")).ok());
    QCOMPARE(f.scalar(QStringLiteral("SELECT COUNT(*) FROM table8")).toInt(), 1);
    QCOMPARE(f.rows(QStringLiteral("SELECT login_time FROM table8"), {}, true),
             QList<QVariantList>({{QStringLiteral("2026-03-15 17:40:00")}}));
}

void tst_accounts::checkLoginReportsUnreadableFile()
{
    ProgramFolder f;
    QFile junk(f.demoFile());
    QVERIFY(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    db::DemoData::setEnabled(true);
    const db::LoginResult r = db::CheckLogin(QStringLiteral("boss"), QString());
    QCOMPARE(r.outcome, LoginOutcome::DatabaseFailure);
    QVERIFY(!r.error.isEmpty());
}

void tst_accounts::renameChangesOnlyCurrentUsersRow_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("newName");

    QTest::newRow("plain") << "boss" << "pw" << "keeper";
    QTest::newRow("no password") << "nopw" << "" << "keeper";
    QTest::newRow("quote in name") << "o'brien" << "pw" << "o'neil";
    QTest::newRow("injection in name") << "x' OR '1'='1" << "pw" << "y' OR 1=1 --";
    QTest::newRow("wildcards in password") << "boss" << "%" << "a%_";
}

void tst_accounts::renameChangesOnlyCurrentUsersRow()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, newName);

    ProgramFolder f;
    for (const QString &name : {QStringLiteral("boss"), QStringLiteral("o'brien"), QStringLiteral("x' OR '1'='1")})
        addUser(f, name, QVariant("pw"));
    addUser(f, QStringLiteral("nopw"), NoPassword);
    if (password == QLatin1String("%"))
        f.exec(QStringLiteral("UPDATE table7 SET t2 = '%' WHERE t1 = 'boss'"));
    // Same name, other password: another account that keeps its name.
    const QString otherPassword = QStringLiteral("other");
    addUser(f, user, otherPassword);
    const auto before = users(f);

    QVERIFY(db::CheckLogin(user, password).ok());
    QVERIFY(db::RenameUser(newName).ok());

    const auto after = users(f);
    QCOMPARE(after.size(), before.size());
    for (int i = 0; i < after.size(); ++i) {
        if (before[i][0].toString() == user && before[i][1].toString() != otherPassword)
            QCOMPARE(after[i][0].toString(), newName);
        else
            QCOMPARE(after[i], before[i]);
    }
}

void tst_accounts::changePassword_data()
{
    QTest::addColumn<QVariant>("oldPassword");
    QTest::addColumn<QString>("newPassword");

    QTest::newRow("to another") << QVariant("pw") << "new";
    QTest::newRow("to empty stores NULL") << QVariant("pw") << "";
    QTest::newRow("from none") << NoPassword << "new";
    QTest::newRow("none to none") << NoPassword << "";
    QTest::newRow("hostile text") << QVariant("pw") << "' OR t1 LIKE '%";
}

void tst_accounts::changePassword()
{
    QFETCH(QVariant, oldPassword);
    QFETCH(QString, newPassword);

    ProgramFolder f;
    addUser(f, QStringLiteral("clerk"), oldPassword);
    addUser(f, QStringLiteral("boss"), oldPassword);
    addUser(f, QStringLiteral("other"), QVariant("keep"));

    QVERIFY(db::CheckLogin(QStringLiteral("boss"), oldPassword.toString()).ok());
    QVERIFY(db::ChangePassword(newPassword).ok());
    db::Session::setCurrentPassword(newPassword);

    const auto rows = users(f);
    QCOMPARE(rows[0][1], oldPassword);
    QCOMPARE(rows[1][1].isNull(), newPassword.isEmpty());
    if (!newPassword.isEmpty())
        QCOMPARE(rows[1][1].toString(), newPassword);
    QCOMPARE(rows[2][1].toString(), QStringLiteral("keep"));

    // The next login takes the new password, an empty one with an empty field.
    QVERIFY(db::CheckLogin(QStringLiteral("boss"), newPassword).ok());
    if (!newPassword.isEmpty())
        QVERIFY(!db::CheckLogin(QStringLiteral("boss"), QString()).ok());
}

void tst_accounts::firstAccountGoesIntoBothFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");

    QTest::newRow("with password") << "店主" << "1234";
    QTest::newRow("no password") << "boss" << "";
    QTest::newRow("hostile") << "o'brien'); DROP TABLE table7; --" << "%' OR '1'='1";
}

void tst_accounts::firstAccountGoesIntoBothFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, password);

    ProgramFolder f(ProgramFolder::GeneratedDemoFile);
    QCOMPARE(db::HasAnyUser().value(), false);
    QVERIFY2(db::CreateFirstAccount(name, password).ok(), "first account");
    QCOMPARE(db::HasAnyUser().value(), true);

    for (bool demo : {false, true}) {
        const auto rows = users(f, demo);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].toString(), name);
        QCOMPARE(rows[0][1].isNull(), password.isEmpty());
        QCOMPARE(rows[0][1].toString(), password);
    }
    // The data switch finds the user in either file.
    QVERIFY(db::CheckLogin(name, password).ok());
    db::DemoData::setEnabled(true);
    QVERIFY(db::CheckLogin(name, password).ok());
}

void tst_accounts::firstAccountIsAllOrNothing_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("demo file missing") << "missing";
    QTest::newRow("demo file without users table") << "no table7";
    QTest::newRow("demo file not a database") << "junk";
}

void tst_accounts::firstAccountIsAllOrNothing()
{
    QFETCH(QString, damage);
    ProgramFolder f;
    if (damage == QLatin1String("missing")) {
        QVERIFY(QFile::remove(f.demoFile()));
    } else if (damage == QLatin1String("no table7")) {
        f.exec(QStringLiteral("DROP TABLE table7"), {}, true);
    } else {
        QFile junk(f.demoFile());
        QVERIFY(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
        junk.write(QByteArray(4096, 'x'));
    }

    const db::Status s = db::CreateFirstAccount(QStringLiteral("boss"), QStringLiteral("pw"));
    QVERIFY(!s.ok());
    QVERIFY(!s.error().isEmpty());
    QCOMPARE(users(f).size(), 0);
    QCOMPARE(db::HasAnyUser().value(), false);
    QCOMPARE(QFile::exists(f.demoFile()), damage != QLatin1String("missing"));
}

void tst_accounts::firstAccountUpdatesSameUserInDemoFile()
{
    ProgramFolder f;
    addUser(f, QStringLiteral("Boss"), QVariant("old"), true);
    addUser(f, QStringLiteral("clerk"), QVariant("c"), true);
    QVERIFY(db::CreateFirstAccount(QStringLiteral("boss"), QStringLiteral("new")).ok());
    QCOMPARE(users(f, true), QList<QVariantList>({{QStringLiteral("Boss"), QStringLiteral("new")},
                                                  {QStringLiteral("clerk"), QStringLiteral("c")}}));
    QCOMPARE(users(f), QList<QVariantList>({{QStringLiteral("boss"), QStringLiteral("new")}}));
}

QTEST_GUILESS_MAIN(tst_accounts)
#include "tst_accounts.moc"
