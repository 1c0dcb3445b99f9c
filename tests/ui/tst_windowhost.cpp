#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "lists/openers.h"
#include "ui/pagedlistform.h"
#include "ui/windowhost.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

// A workspace that only records what it was asked to show.
class RecordingHost : public ui::WindowHost
{
public:
    QList<QPointer<QWidget>> shown, activated;
    void showChild(QWidget *w) override { shown << w; }
    void activateChild(QWidget *w) override { activated << w; }
};

} // namespace

class TestWindowHost : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ui::RegisterWindowHost(nullptr); }
    void withoutHostAWindowShowsOnItsOwn();
    void aRegisteredHostShowsTheWindow();
    void sharedWindowIsOnePerKindWithoutHost();
};

void TestWindowHost::withoutHostAWindowShowsOnItsOwn()
{
    ProgramFolder folder;
    folder.exec("INSERT INTO table1 (t13) VALUES ('无主窗口')");
    QVERIFY(ui::RegisteredWindowHost() == nullptr);
    lists::OpenAllDiscsList();
    ui::PagedListForm *list = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *l = qobject_cast<ui::PagedListForm *>(w))
            list = l;
    QVERIFY(list);
    QVERIFY(list->isWindow());
    QVERIFY(list->isVisible());
    QVERIFY(list->testAttribute(Qt::WA_DeleteOnClose));
    // On its own the list loads page 1 at once.
    QCOMPARE(list->grid()->cellText(1, 2), QStringLiteral("无主窗口"));
    QPointer<QWidget> gone = list;
    list->close();
    QTRY_VERIFY(gone.isNull());
}

void TestWindowHost::aRegisteredHostShowsTheWindow()
{
    RecordingHost host;
    ui::RegisterWindowHost(&host);
    auto *w = new QLabel("child");
    ui::ShowWindow(w);
    QCOMPARE(host.shown.size(), 1);
    QCOMPARE(host.shown.first().data(), w);
    QVERIFY(!w->isVisible()); // showing is the host's business
    QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
    ui::UnregisterWindowHost(&host);
    QVERIFY(ui::RegisteredWindowHost() == nullptr);
    delete w;
}

void TestWindowHost::sharedWindowIsOnePerKindWithoutHost()
{
    int made = 0;
    auto make = [&made] { ++made; return new QLabel("shared"); };
    QLabel *first = ui::Shared<QLabel>(make);
    QVERIFY(first->isWindow() && first->isVisible());
    QCOMPARE(ui::Shared<QLabel>(make), first);
    QCOMPARE(made, 1);
    QPointer<QLabel> gone = first;
    first->close();
    QTRY_VERIFY(gone.isNull());
    QVERIFY(ui::SharedIfOpen<QLabel>() == nullptr);
    delete ui::Shared<QLabel>(make);
    QCOMPARE(made, 2);
}

QTEST_MAIN(TestWindowHost)
#include "tst_windowhost.moc"
