#include "reports/statisticsform.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QTabWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <cmath>

#include "data/store/clock.h"
#include "hoverpad/usercontrol1.h"
#include "reports/discsoutform.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/windowhost.h"

namespace {

// A bar chart over categories, one bar set per series of numbers, the axis from zero.
void drawBars(QChartView *view, const QString &title, const QStringList &categories,
              const QList<std::pair<QString, QList<double>>> &sets, bool horizontal = false)
{
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->setAnimationOptions(QChart::NoAnimation);
    QAbstractBarSeries *series = horizontal ? static_cast<QAbstractBarSeries *>(new QHorizontalBarSeries)
                                            : static_cast<QAbstractBarSeries *>(new QBarSeries);
    double top = 0;
    for (const auto &[name, values] : sets) {
        auto *set = new QBarSet(name);
        for (double v : values) {
            *set << v;
            top = std::max(top, v);
        }
        series->append(set);
    }
    // Numbers on the bars only where they fit: few bars, or a ranking, of small numbers.
    series->setLabelsVisible((categories.size() <= 12 || horizontal) && top < 10000);
    chart->addSeries(series);
    auto *names = new QBarCategoryAxis;
    names->append(categories);
    if (categories.size() > 12 && !horizontal)
        names->setLabelsAngle(-90);
    auto *numbers = new QValueAxis;
    // Whole numbers on whole ticks: about five steps of a round size.
    double step = 1;
    while (top / step > 6)
        step *= (QString::number(step).startsWith(QLatin1Char('2')) ? 2.5 : 2);
    numbers->setTickType(QValueAxis::TicksDynamic);
    numbers->setTickAnchor(0);
    numbers->setTickInterval(step);
    numbers->setRange(0, std::max(step, std::ceil(top * 1.1 / step) * step));
    numbers->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(names, horizontal ? Qt::AlignLeft : Qt::AlignBottom);
    chart->addAxis(numbers, horizontal ? Qt::AlignBottom : Qt::AlignLeft);
    series->attachAxis(names);
    series->attachAxis(numbers);
    chart->legend()->setVisible(sets.size() > 1);
    chart->legend()->setAlignment(Qt::AlignTop);
    QChart *old = view->chart();
    view->setChart(chart);
    delete old;
}

} // namespace

StatisticsForm::StatisticsForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("statisticsForm"));
    setWindowTitle(QStringLiteral("营业统计"));
    // Tall enough for a ranking of 20 names, each on a line of its own.
    resize(900, 720);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("统计期间："), this));
    m_preset = new QComboBox(this);
    m_preset->setObjectName(QStringLiteral("preset"));
    m_preset->addItems({QStringLiteral("最近 7 天"), QStringLiteral("最近 30 天"), QStringLiteral("本月"),
                        QStringLiteral("最近 12 个月"), QStringLiteral("自选")});
    bar->addWidget(m_preset);
    m_from = new QDateEdit(this);
    m_to = new QDateEdit(this);
    m_from->setObjectName(QStringLiteral("from"));
    m_to->setObjectName(QStringLiteral("to"));
    for (QDateEdit *e : {m_from, m_to}) {
        e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        e->setCalendarPopup(true);
    }
    bar->addWidget(new QLabel(QStringLiteral("从"), this));
    bar->addWidget(m_from);
    bar->addWidget(new QLabel(QStringLiteral("到"), this));
    bar->addWidget(m_to);
    bar->addStretch();
    m_held = new QLabel(this);
    m_held->setObjectName(QStringLiteral("held"));
    bar->addWidget(m_held);
    bar->addStretch();
    const auto button = [&](const char *name, const char *caption) {
        auto *b = new UserControl1(this);
        b->setObjectName(QLatin1String(name));
        b->setCaption(QString::fromUtf8(caption));
        b->setFixedSize(90, 25);
        bar->addWidget(b);
        return b;
    };
    connect(button("refresh", "刷新"), &UserControl1::Click, this, [this] { reload(); });
    connect(button("print", "打印"), &UserControl1::Click, this, [this] { printChart(); });
    connect(button("save", "保存"), &UserControl1::Click, this, [this] { saveClicked(); });

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    const auto page = [&](const QString &caption) {
        auto *w = new QWidget;
        w->setLayout(new QVBoxLayout);
        w->layout()->setContentsMargins(0, 0, 0, 0);
        m_tabs->addTab(w, caption);
        return w;
    };
    QWidget *rentals = page(QStringLiteral("租还数量"));
    m_daily = addChartView(rentals, QStringLiteral("daily"));
    m_monthly = addChartView(rentals, QStringLiteral("monthly"));
    m_daysOut = addChartView(page(QStringLiteral("在租天数")), QStringLiteral("daysOut"));
    m_deposits = addChartView(page(QStringLiteral("押金")), QStringLiteral("deposits"));
    // A ranking fills its page: the names along its side need the width, and a line each of
    // height, or the chart cuts them to "…"; a smaller window scrolls.
    const auto ranking = [&](const QString &caption, const QString &name) {
        auto *scroll = new QScrollArea;
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        auto *inner = new QWidget;
        inner->setLayout(new QVBoxLayout);
        inner->layout()->setContentsMargins(0, 0, 0, 0);
        QChartView *v = addChartView(inner, name);
        v->setMinimumHeight(db::kRanked * 26 + 80);
        scroll->setWidget(inner);
        page(caption)->layout()->addWidget(scroll);
        return v;
    };
    m_titles = ranking(QStringLiteral("碟片排行"), QStringLiteral("titles"));
    m_customers = ranking(QStringLiteral("客户排行"), QStringLiteral("customers"));

    auto *all = new QVBoxLayout(this);
    all->addLayout(bar);
    all->addWidget(m_tabs);

    m_today = db::Clock::today();
    m_from->setDate(m_today.addDays(-29));
    m_to->setDate(m_today);
    m_preset->setCurrentIndex(1);
    connect(m_preset, &QComboBox::activated, this, &StatisticsForm::presetChosen);
    for (QDateEdit *e : {m_from, m_to}) {
        connect(e, &QDateEdit::editingFinished, this, [this] {
            m_preset->setCurrentIndex(4);
            setPeriod(m_from->date(), m_to->date());
        });
    }
}

QChartView *StatisticsForm::addChartView(QWidget *page, const QString &name)
{
    auto *v = new QChartView(page);
    v->setObjectName(name);
    v->setRenderHint(QPainter::Antialiasing);
    page->layout()->addWidget(v);
    return v;
}

bool StatisticsForm::reload()
{
    m_today = db::Clock::today();
    auto read = db::ReadStatistics(m_today, m_from->date(), m_to->date());
    if (!read) {
        msg::information(this, read.error());
        return false;
    }
    m_figures = read.value();
    drawAll();
    return true;
}

void StatisticsForm::presetChosen(int index)
{
    QDate from = m_today;
    switch (index) {
    case 0: from = m_today.addDays(-6); break;
    case 1: from = m_today.addDays(-29); break;
    case 2: from = QDate(m_today.year(), m_today.month(), 1); break;
    case 3: from = QDate(m_today.year(), m_today.month(), 1).addMonths(-11); break;
    default: return;
    }
    setPeriod(from, m_today);
}

bool StatisticsForm::setPeriod(const QDate &from, const QDate &to)
{
    m_from->setDate(std::min(from, to));
    m_to->setDate(std::max(from, to));
    if (db::Status s = db::ReadPeriod(from, to, m_figures); !s) {
        msg::information(this, s.error());
        return false;
    }
    drawAll();
    return true;
}

void StatisticsForm::drawAll()
{
    QStringList days, months;
    QList<double> rentedDays, returnedDays, rentedMonths, returnedMonths, taken, refunded;
    for (const db::RentalCount &d : std::as_const(m_figures.days)) {
        days << d.from.toString(QStringLiteral("MM-dd"));
        rentedDays << double(d.rentals);
        returnedDays << double(d.returns);
    }
    for (const db::RentalCount &m : std::as_const(m_figures.months)) {
        months << m.from.toString(QStringLiteral("yy-MM"));
        rentedMonths << double(m.rentals);
        returnedMonths << double(m.returns);
    }
    for (const db::DepositMonth &m : std::as_const(m_figures.deposits)) {
        taken << m.taken;
        refunded << m.refunded;
    }
    const auto span = [](const QDate &a, const QDate &b, const QString &format) {
        return QStringLiteral("%1 至 %2").arg(a.toString(format), b.toString(format));
    };
    const QString monthSpan = m_figures.months.isEmpty() ? QString()
        : span(m_figures.months.first().from, m_figures.months.last().from, QStringLiteral("yyyy年M月"));
    const QString daySpan = m_figures.days.isEmpty() ? QString()
        : span(m_figures.days.first().from, m_figures.days.last().from, QStringLiteral("yyyy-MM-dd"));
    drawBars(m_daily, daySpan + QStringLiteral(" 每日租出与归还（张）"), days,
             {{QStringLiteral("租出"), rentedDays}, {QStringLiteral("归还"), returnedDays}});
    drawBars(m_monthly, monthSpan + QStringLiteral(" 每月租出与归还（张）"), months,
             {{QStringLiteral("租出"), rentedMonths}, {QStringLiteral("归还"), returnedMonths}});

    QStringList groups;
    QList<double> out;
    for (int g = 0; g < db::kDaysOutGroups; ++g) {
        groups << db::DaysOutLabel(db::DaysOut(g));
        out << double(m_figures.discsOut[g]);
    }
    drawBars(m_daysOut, QStringLiteral("未还碟片按在租天数（张，点击柱条查看碟片）"), groups,
             {{QStringLiteral("未还碟片"), out}});
    const auto *series = qobject_cast<QAbstractBarSeries *>(m_daysOut->chart()->series().value(0));
    if (series && !series->barSets().isEmpty())
        connect(series->barSets().first(), &QBarSet::clicked, this, [this](int i) { openDiscsOut(db::DaysOut(i)); });

    drawBars(m_deposits, monthSpan + QStringLiteral(" 每月收取与退还押金（元）"), months,
             {{QStringLiteral("收取"), taken}, {QStringLiteral("退还"), refunded}});
    m_held->setText(QStringLiteral("目前押金：%1 元").arg(QString::number(m_figures.depositsHeld, 'f', 2)));
    drawRankings();
}

void StatisticsForm::drawRankings()
{
    const QString period = QStringLiteral("%1 至 %2").arg(m_from->date().toString(QStringLiteral("yyyy-MM-dd")),
                                                          m_to->date().toString(QStringLiteral("yyyy-MM-dd")));
    const auto draw = [&](QChartView *view, const QString &title, const QList<db::Ranked> &ranked, bool customers) {
        QStringList names;
        QList<double> counts;
        // Most rentals at the top: a horizontal chart draws its first category at the bottom.
        for (qsizetype i = ranked.size() - 1; i >= 0; --i) {
            QString name = ranked.at(i).name.simplified();
            // A ranking has its page to itself, so a name of up to 20 characters shows whole.
            if (name.size() > 20)
                name = name.left(19) + QStringLiteral("…");
            // Customers by number and name; titles by their place in the ranking.
            if (customers)
                name = QStringLiteral("%1 %2").arg(ranked.at(i).id, 6, 10, QLatin1Char('0')).arg(name);
            else
                name = QStringLiteral("%1. %2").arg(i + 1).arg(name);
            // Two titles may look alike once shortened; a category axis needs distinct names.
            while (names.contains(name))
                name += QChar(0x200B);
            names << name;
            counts << double(ranked.at(i).rentals);
        }
        drawBars(view, title + QStringLiteral("（") + period + QStringLiteral("）"), names,
                 {{QStringLiteral("租碟次数"), counts}}, true);
    };
    draw(m_titles, QStringLiteral("租出最多的 20 部碟片"), m_figures.topTitles, false);
    draw(m_customers, QStringLiteral("租碟最多的 20 位客户"), m_figures.topCustomers, true);
}

void StatisticsForm::openDiscsOut(db::DaysOut group)
{
    auto *w = new DiscsOutForm(group, m_today);
    w->setWindowTitle(QStringLiteral("未还碟片：在租 %1").arg(db::DaysOutLabel(group)));
    ui::ReloadFlag::set();
    ui::ShowWindow(w);
    if (!w->parentWidget())
        w->activate();
}

QPixmap StatisticsForm::shownPicture() const
{
    // A ranking's chart whole, also where its page scrolls.
    const QList<QChartView *> views = m_tabs->currentWidget()->findChildren<QChartView *>();
    return views.size() == 1 ? views.first()->grab() : m_tabs->currentWidget()->grab();
}

bool StatisticsForm::saveChart(const QString &path)
{
    const QPixmap picture = shownPicture();
    bool saved = false;
    if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        QPdfWriter pdf(path);
        pdf.setPageOrientation(QPageLayout::Landscape);
        pdf.setTitle(windowTitle());
        QPainter p;
        if (p.begin(&pdf)) {
            const QRect page = p.viewport();
            const QSize size = picture.size().scaled(page.size(), Qt::KeepAspectRatio);
            p.drawPixmap(QRect(page.topLeft(), size), picture);
            saved = p.end();
        }
    } else {
        saved = picture.save(path);
    }
    if (!saved)
        msg::information(this, QStringLiteral("无法保存到 %1。").arg(path));
    return saved;
}

void StatisticsForm::saveClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("保存图表"),
                                                      m_tabs->tabText(m_tabs->currentIndex()) + QStringLiteral(".png"),
                                                      QStringLiteral("PNG 图片 (*.png);;PDF 文件 (*.pdf)"));
    if (!path.isEmpty())
        saveChart(path);
}

void StatisticsForm::printChart()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QPixmap picture = shownPicture();
    QPainter p(&printer);
    const QRect page = p.viewport();
    p.drawPixmap(QRect(page.topLeft(), picture.size().scaled(page.size(), Qt::KeepAspectRatio)), picture);
}
