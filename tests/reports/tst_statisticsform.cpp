// 营业统计 as the shop keeper uses it: the charts draw the figures, a change of period
// redraws the charts it drives, a bar opens the list of its discs, the chart shown is saved.
#include <QtTest>

#include <QBarSet>
#include <QChartView>
#include <QComboBox>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QTabWidget>

#include "data/store/clock.h"
#include "reports/discsoutform.h"
#include "reports/statisticsform.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "ui/messages.h"

using testsupport::ProgramFolder;

namespace {

QList<double> barValues(QWidget *w, const QString &view, int set = 0)
{
    auto *v = w->findChild<QChartView *>(view);
    if (!v || v->chart()->series().isEmpty())
        return {};
    auto *series = qobject_cast<QAbstractBarSeries *>(v->chart()->series().first());
    QList<double> out;
    if (!series || series->barSets().size() <= set)
        return out;
    for (int i = 0; i < series->barSets().at(set)->count(); ++i)
        out << series->barSets().at(set)->at(i);
    return out;
}

} // namespace

class TestStatisticsForm : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        testsupport::DeleteAllWindows();
        db::Clock::setFixed({});
    }
    void chartsShowTheFigures();
};

void TestStatisticsForm::chartsShowTheFigures()
{
    ProgramFolder folder;
    db::Clock::setFixed(QDateTime(QDate(2026, 6, 15), QTime(9, 0)));
    folder.exec("INSERT INTO table2 (t1, t4, s5) VALUES ('张三', 100, '2026-06-01'), ('李四', 0, NULL)");
    folder.exec("INSERT INTO table6 (khid, s1, s2, s3) VALUES (2, 30, '2026-01-05', '2026-05-20')");
    // Discs out 3, 20, 60 and 200 days; one disc on the shelf.
    folder.exec("INSERT INTO table1 (t13, t7, s1, s3) VALUES ('甲', 1, '2026-06-12', '张三'), "
                "('乙', 1, '2026-05-26', '张三'), ('丙', 1, '2026-04-16', '李四'), "
                "('丁', 1, '2025-11-27', '李四'), ('戊', 1, NULL, NULL)");
    folder.exec("INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES "
                "(1, '甲', 1, '2026-06-12', NULL, NULL), (2, '乙', 1, '2026-05-26', NULL, NULL), "
                "(3, '丙', 2, '2026-04-16', NULL, NULL), (4, '丁', 2, '2025-11-27', NULL, NULL), "
                "(5, '戊', 2, '2026-06-10', '√', '2026-06-14'), (5, '戊', 1, '2026-06-14', '√', '2026-06-15')");
    msg::Recorder boxes;
    StatisticsForm w;
    w.show();
    QVERIFY(w.reload());
    QVERIFY(boxes.boxes().isEmpty());

    const QList<double> rented = barValues(&w, "daily", 0);
    QCOMPARE(rented.size(), 30);
    QCOMPARE(rented.last(), 0.0);       // 06-15
    QCOMPARE(rented.at(29 - 1), 1.0);   // 06-14
    QCOMPARE(rented.at(29 - 3), 1.0);   // 06-12
    QCOMPARE(barValues(&w, "daily", 1).last(), 1.0);
    QCOMPARE(barValues(&w, "monthly", 0).last(), 3.0);
    QCOMPARE(barValues(&w, "monthly", 1).last(), 2.0);
    QCOMPARE(barValues(&w, "daysOut"), (QList<double>{1, 1, 1, 1}));
    QCOMPARE(barValues(&w, "deposits", 0).last(), 100.0);
    QCOMPARE(barValues(&w, "deposits", 1).at(10), 30.0);  // 2026-05
    QCOMPARE(barValues(&w, "deposits", 0).at(6), 30.0);   // taken 2026-01
    QCOMPARE(w.findChild<QLabel *>("held")->text(), QStringLiteral("目前押金：100.00 元"));

    // The last 30 days: 戊 twice, 甲 and 乙 once; the top of the chart is the first ranked.
    QCOMPARE(barValues(&w, "titles"), (QList<double>{1, 1, 2}));
    auto *preset = w.findChild<QComboBox *>("preset");
    preset->setFocus();
    QTest::keyClick(preset, Qt::Key_Down); // 本月
    QTest::keyClick(preset, Qt::Key_Down); // 最近 12 个月
    QCOMPARE(preset->currentIndex(), 3);
    QCOMPARE(barValues(&w, "titles"), (QList<double>{1, 1, 1, 1, 2}));
    QCOMPARE(barValues(&w, "customers"), (QList<double>{3, 3}));
    // The period drives the charts per day and per month too: a year shows its last 31 days.
    QCOMPARE(barValues(&w, "daily").size(), 31);
    QCOMPARE(barValues(&w, "monthly").size(), 12);
    QTest::keyClick(preset, Qt::Key_Up);
    QTest::keyClick(preset, Qt::Key_Up);
    QTest::keyClick(preset, Qt::Key_Up); // 最近 7 天: 戊 on 06-10 and 06-14, 甲 on 06-12
    QCOMPARE(preset->currentIndex(), 0);
    QCOMPARE(barValues(&w, "daily"), (QList<double>{0, 1, 0, 1, 0, 1, 0}));
    QCOMPARE(barValues(&w, "titles"), (QList<double>{1, 2}));
    QCOMPARE(barValues(&w, "deposits", 0).last(), 100.0);

    // A bar of the days-out chart opens the list of those discs.
    auto *view = w.findChild<QChartView *>("daysOut");
    auto *set = qobject_cast<QAbstractBarSeries *>(view->chart()->series().first())->barSets().first();
    emit set->clicked(3);
    DiscsOutForm *list = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        list = list ? list : qobject_cast<DiscsOutForm *>(top);
    QVERIFY(list);
    QCOMPARE(list->rowRecord(1), qint64(4));
    QCOMPARE(list->rowRecord(2), qint64(0));

    QTemporaryDir dir;
    for (const char *name : {"a.png", "a.pdf"}) {
        QVERIFY(w.saveChart(dir.filePath(name)));
        QFile saved(dir.filePath(name));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.size() > 1000);
        QVERIFY(saved.read(4) == QByteArray("%PDF") || QByteArray(name).endsWith("png"));
    }
}

QTEST_MAIN(TestStatisticsForm)
#include "tst_statisticsform.moc"
