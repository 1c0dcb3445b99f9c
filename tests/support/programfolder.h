#pragma once
#include <QList>
#include <QStringList>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantList>

namespace testsupport {

// A fresh program folder for one test: empty db.sqlite (and demo.sqlite when asked),
// the scratch folder, the data switch off, no user logged in, empty lookup lists and
// the clock pinned to Today(). Everything is put back when it goes out of scope.
class ProgramFolder
{
public:
    enum Demo { NoDemoFile, EmptyDemoFile, GeneratedDemoFile };
    explicit ProgramFolder(Demo demo = EmptyDemoFile);
    ~ProgramFolder();

    QString path() const { return m_dir.path(); }
    QString realFile() const;
    QString demoFile() const;

    // Direct access for arranging and checking rows; fails the test on an SQL error.
    void exec(const QString &sql, const QVariantList &binds = {}, bool demo = false) const;
    QVariant scalar(const QString &sql, const QVariantList &binds = {}, bool demo = false) const;
    QList<QVariantList> rows(const QString &sql, const QVariantList &binds = {}, bool demo = false) const;

    // Replaces db.sqlite (or demo.sqlite) with a file in the layout an earlier release
    // wrote, holding the rows the statements insert. It is not upgraded here: the next
    // operation that opens it does that.
    void writeOldFile(int version, const QStringList &statements, bool demo = false) const;

    // What the shop's checker finds wrong with db.sqlite (or demo.sqlite): integrity and
    // invariants, one line each; empty for a sound file. Every reliability test ends with it.
    QString problems(bool demo = false) const;

private:
    QTemporaryDir m_dir;
};

// The date the clock shows in tests.
QDate Today();

} // namespace testsupport
