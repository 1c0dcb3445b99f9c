#pragma once
#include <QDate>
#include <QWidget>

#include "data/shop/statistics.h"

class QBarSet;
class QChart;
class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QPixmap;
class QTabWidget;

// 营业统计: how the shop runs, as charts. The period chooser sets the days every chart but
// the discs out counts; a bar of the days-out chart opens the list of those discs. The chart shown is
// printed, or saved as a PNG picture or a PDF file.
class StatisticsForm : public QWidget
{
    Q_OBJECT
public:
    explicit StatisticsForm(QWidget *parent = nullptr);

    // Reads every figure anew and draws the charts; false (reported) when the file cannot be read.
    bool reload();
    // Sets the period and redraws the charts.
    bool setPeriod(const QDate &from, const QDate &to);
    // Saves the chart shown: a PDF for a .pdf name, a picture otherwise.
    bool saveChart(const QString &path);
    // Opens the list of the discs out in one group, as a click on its bar does.
    void openDiscsOut(db::DaysOut group);

    const db::ShopStatistics &figures() const { return m_figures; }
    QTabWidget *tabs() const { return m_tabs; }

private:
    void presetChosen(int index);
    void drawAll();
    void drawRankings();
    void printChart();
    QPixmap shownPicture() const;
    void saveClicked();
    QChartView *addChartView(QWidget *page, const QString &name);

    db::ShopStatistics m_figures;
    QDate m_today;
    QComboBox *m_preset;
    QDateEdit *m_from;
    QDateEdit *m_to;
    QLabel *m_held;
    QTabWidget *m_tabs;
    QChartView *m_daily;
    QChartView *m_monthly;
    QChartView *m_daysOut;
    QChartView *m_deposits;
    QChartView *m_titles;
    QChartView *m_customers;
};
