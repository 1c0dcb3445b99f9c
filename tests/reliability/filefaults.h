#pragma once
// Faults of a data file for the fault tests: put on before a window acts, taken off after.
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;
class UserControl1;
namespace msg { class Recorder; }
namespace testsupport { class ProgramFolder; }

namespace faults {

// A fault test program started by the locked faults is the other program holding the
// file: main() asks IsLockHolder first and then runs HoldLock, inside a QCoreApplication.
bool IsLockHolder(int argc, char *argv[]);
int HoldLock(int argc, char *argv[]);

// Root writes read-only files; the read-only fault would mean nothing.
void RunAsNobody();

QByteArray BytesOf(const QString &path);
void WriteBytes(const QString &path, const QByteArray &bytes);

class FileFault
{
public:
    virtual ~FileFault() = default;
    virtual void apply(const QString &file) = 0;
    virtual void remove(const QString &file) = 0;
    // The file as the fault left it must still be exactly so after a refused action.
    virtual bool leavesFileToCompare() const { return true; }
};

struct FaultKind
{
    QString name;
    QString reason; // what the message must say
    std::function<std::unique_ptr<FileFault>()> make;
};

// Read-only, held by another program (writing, or locking out readers too), missing, cut
// short, not a database, full.
QList<FaultKind> FaultKinds();

// The file in use holds the demonstration shop too, and both files know the shop keeper
// (店主, password pw), who is logged in.
void OpenDemoShop(const testsupport::ProgramFolder &pf);

// The hover button of that name in the window; the test ends without one.
UserControl1 *Button(QWidget *w, const QString &name);
// A mouse click on it, as the clerk gives it.
void Click(QWidget *w, const QString &name);

// The text of the box of that name in the window; empty without one.
QString TextOf(QWidget *w, const QString &name);
// Types text into the box of that name, as the clerk does.
void Enter(QWidget *w, const QString &name, const QString &text);

// The texts of the OK-only boxes shown while the recorder lived.
QStringList InformationTexts(const msg::Recorder &rec);

} // namespace faults
