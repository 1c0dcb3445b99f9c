#include "app/main_mdiform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>

#include "app/about.h"
#include "app/backupactions.h"
#include "app/datasource_form.h"
#include "app/dataactions.h"
#include "app/gz_loginer_form.h"
#include "app/gz_pwd_form.h"
#include "app/restoreform.h"
#include "app/searchwarmup.h"
#include "app/tour.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "discs/openers.h"
#include "lists/openers.h"
#include "printing/openers.h"
#include "rental/openers.h"
#include "reports/openers.h"
#include "ui/messages.h"

namespace {
main_MDIForm *g_main = nullptr;

struct Item
{
    const char *name;
    const char *caption;
};
struct Menu
{
    const char *name;
    const char *caption;
    std::initializer_list<Item> items;
};
} // namespace

main_MDIForm::main_MDIForm(QWidget *parent) : QMainWindow(parent), m_mdi(new QMdiArea(this))
{
    g_main = this;
    ui::RegisterWindowHost(this);
    setObjectName(QStringLiteral("main_MDIForm"));
    setWindowTitle(QStringLiteral("澜岚系统"));
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_mdi);
    buildMenus();
    wireMenus();
}

main_MDIForm::~main_MDIForm()
{
    if (g_main == this)
        g_main = nullptr;
    ui::UnregisterWindowHost(this);
}

main_MDIForm *main_MDIForm::instance()
{
    return g_main;
}

void main_MDIForm::buildMenus()
{
    // Top-level captions keep their four leading blanks: they space the menu bar out.
    static const Menu menus[] = {
        {"menu1", "    登记", {{"menu1_1", "碟片登记"}, {"menu1_2", "租碟登记"}, {"menu1_3", "还碟登记"}, {"menu1_4", "快速还碟"}, {"menu1_5", "打印碟片标签"}, {"menu1_6", "柜台设置"}, {"menu1_7", "导入碟片目录"}}},
        {"menu2", "    查询", {{"menu2_1", "碟片查询"}, {"menu2_2", "客户查询"}}},
        {"menu3", "    列表",
         {{"menu3_1", "全部碟片列表"}, {"menu3_2", "可租碟片列表"}, {"menu3_3", "未还碟片列表"},
          {"menu3_4", "全部客户列表"}, {"menu3_5", "未还客户列表"}}},
        {"menu6", "    统计", {{"menu6_1", "营业统计"}}},
        {"menu5", "    登录", {{"menu5_1", "更改登录用户"}, {"menu5_2", "更改登录密码"}}},
        // The data itself: its copies, where they go, a way out, its check, and where the shop lives.
        {"menu7", "    数据", {{"menu7_1", "立即备份"}, {"menu7_2", "从备份恢复…"}, {"menu7_3", "备份位置…"}, {"menu7_4", "导出全部数据…"},
                              {"menu7_5", "检查数据文件"}, {"menu7_6", "数据源设置"}}},
        {"menu4", "    帮助", {{"menu4_1", "快速使用指南"}, {"menu4_2", "关于"}, {"menu4_4", "演示数据"}}},
    };
    for (const Menu &m : menus) {
        QMenu *menu = menuBar()->addMenu(QString::fromUtf8(m.caption));
        menu->setObjectName(QString::fromUtf8(m.name));
        for (const Item &i : m.items) {
            QAction *a = menu->addAction(QString::fromUtf8(i.caption));
            a->setObjectName(QString::fromUtf8(i.name));
            a->setEnabled(false); // enabled once its window is wired below
        }
    }
    QAction *demo = menuItem(QStringLiteral("menu4_4"));
    demo->setCheckable(true);
    demo->setEnabled(true);
    connect(demo, &QAction::triggered, this, &main_MDIForm::toggleDemoData);
}

// Each menu item is connected to the window it opens.
void main_MDIForm::wireMenus()
{
    auto wire = [this](const char *name, const std::function<void()> &open) {
        QAction *a = menuItem(QString::fromUtf8(name));
        a->setEnabled(true);
        connect(a, &QAction::triggered, this, open);
    };
    wire("menu5_1", [] { gz_Loginer_Form::showWindow(); });
    wire("menu5_2", [] { gz_PWD_Form::showWindow(); });
    wire("menu1_1", [] { discs::OpenDiscEntry(); });
    wire("menu1_7", [] { discs::OpenCatalogueImport(); });
    wire("menu1_2", [] { rental::OpenRentalWindow(); });
    wire("menu3_1", [] { lists::OpenAllDiscsList(); });
    wire("menu3_2", [] { rental::OpenRentableDiscsList(); });
    wire("menu3_3", [] { lists::OpenRentedDiscsList(); });
    // Returns start from the customers who have discs out.
    wire("menu1_3", [] { lists::OpenUnreturnedCustomersList(); });
    wire("menu1_4", [] { rental::OpenQuickReturns(); });
    wire("menu1_5", [] { printing::OpenDiscLabels(); });
    wire("menu1_6", [] { printing::OpenCounterSettings(); });
    wire("menu3_4", [] { lists::OpenAllCustomersList(); });
    wire("menu3_5", [] { lists::OpenUnreturnedCustomersList(); });
    wire("menu4_1", [] { tour::showWindow(); });
    wire("menu4_2", [] { About::showWindow(); });
    wire("menu2_1", [] { lists::OpenDiscQuery(); });
    wire("menu2_2", [] { lists::OpenCustomerQuery(); });
    wire("menu6_1", [] { reports::OpenStatistics(); });
    wire("menu7_1", [this] { backups::BackUpNow(this); });
    wire("menu7_2", [] { RestoreForm::showWindow(); });
    wire("menu7_3", [this] { backups::ChooseLocation(this); });
    wire("menu7_4", [this] { dataactions::ExportShop(this); });
    wire("menu7_5", [this] { dataactions::CheckData(this); });
    wire("menu7_6", [] { DataSource_Form::showWindow(); });
}

QAction *main_MDIForm::menuItem(const QString &name) const
{
    return findChild<QAction *>(name);
}

void main_MDIForm::load()
{
    // Without a window manager maximizing does nothing; start from the whole screen.
    if (QScreen *sc = screen())
        setGeometry(sc->availableGeometry());
    showMaximized();
    if (db::Status s = db::LoadLookupLists(); !s)
        msg::information(this, s.error());
}

QMdiSubWindow *main_MDIForm::addChild(QWidget *w)
{
    w->setAttribute(Qt::WA_DeleteOnClose);
    // A window that sized itself gives its outer size; the frame takes it over.
    const bool sized = w->testAttribute(Qt::WA_Resized);
    const QSize outer = w->size();
    QMdiSubWindow *sub = m_mdi->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    if (sized)
        sub->resize(outer);
    // New windows cascade from the top left corner so none opens out of sight.
    const int step = (m_mdi->subWindowList().size() - 1) % 8;
    sub->move(step * 24, step * 24);
    w->show();
    sub->show();
    m_mdi->setActiveSubWindow(sub);
    return sub;
}

void main_MDIForm::activateChild(QWidget *w)
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(w->parentWidget())) {
        if (sub->isMinimized())
            sub->showNormal();
        m_mdi->setActiveSubWindow(sub);
    }
}

void main_MDIForm::toggleDemoData()
{
    // The action has already flipped its check mark.
    QAction *item = menuItem(QStringLiteral("menu4_4"));
    const bool demo = item->isChecked();
    const db::LookupLists before = db::Lookups();
    if (!demo)
        db::Lookups().clearAll();
    db::DemoData::setEnabled(demo);
    if (db::Status s = db::LoadLookupLists(); !s) {
        // The other file cannot be read: stay with the data in use, as it was.
        db::DemoData::setEnabled(!demo);
        db::Lookups() = before;
        item->setChecked(!demo);
        msg::information(this, s.error());
        return;
    }
    ui::DataSwitch::announce();
    startup::WarmSearchInBackground();
}

void main_MDIForm::closeEvent(QCloseEvent *event)
{
    db::EmptyScratchDir();
    event->accept();
    // Closing the frame ends the program, whatever other windows are open.
    QMetaObject::invokeMethod(qApp, &QApplication::closeAllWindows, Qt::QueuedConnection);
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}
