#include "app/datasource_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>

#include "app/searchwarmup.h"
#include "app/serverpassword_dialog.h"
#include "data/shop/accounts.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "data/store/serverschema.h"
#include "hoverpad/usercontrol1.h"
#include "ui/messages.h"
#include "ui/textlimit.h"
#include "ui/twips.h"
#include "ui/windowhost.h"

namespace {

// libpq's TLS modes; the first entry leaves the choice to libpq.
const char *const kSslModes[] = {"", "disable", "allow", "prefer", "require", "verify-ca", "verify-full"};

QString sslCaption(const QString &mode)
{
    return mode.isEmpty() ? QStringLiteral("（默认）") : mode;
}

} // namespace

DataSource_Form::DataSource_Form(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DataSource_Form"));
    setWindowTitle(QStringLiteral("数据源设置"));
    setFixedSize(ui::twips(6600), ui::twips(5400));

    Option1_0 = new QRadioButton(QStringLiteral("本机数据文件（程序旁的 db.sqlite）"), this);
    Option1_0->setObjectName(QStringLiteral("Option1_0"));
    Option1_0->setGeometry(ui::twips(360), ui::twips(240), ui::twips(5880), ui::twips(330));
    Option1_1 = new QRadioButton(QStringLiteral("PostgreSQL 数据库服务器（多个柜台共用一个店铺）"), this);
    Option1_1->setObjectName(QStringLiteral("Option1_1"));
    Option1_1->setGeometry(ui::twips(360), ui::twips(660), ui::twips(5880), ui::twips(330));

    const QString captions[] = {QStringLiteral("服务器"), QStringLiteral("端口"), QStringLiteral("数据库"),
                                QStringLiteral("用户"), QStringLiteral("加密方式")};
    for (int i = 0; i < 5; ++i) {
        const int top = 1140 + i * 480;
        Label1[i] = new QLabel(captions[i], this);
        Label1[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
        Label1[i]->setGeometry(ui::twips(720), ui::twips(top + 60), ui::twips(1080), ui::twips(300));
        if (i < 4) {
            Text1[i] = new QLineEdit(this);
            Text1[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
            Text1[i]->setGeometry(ui::twips(1860), ui::twips(top), ui::twips(4320), ui::twips(360));
            ui::LimitLength(Text1[i]);
        }
    }
    Text1[0]->setPlaceholderText(QStringLiteral("主机名，或服务器套接字所在的文件夹"));
    Text1[1]->setMaxLength(5);
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(ui::twips(1860), ui::twips(1140 + 4 * 480), ui::twips(2400), ui::twips(360));
    for (const char *mode : kSslModes)
        Combo1->addItem(sslCaption(QString::fromLatin1(mode)), QString::fromLatin1(mode));
    for (int i = 0; i < 4; ++i)
        setTabOrder(i == 0 ? static_cast<QWidget *>(Option1_1) : Text1[i - 1], Text1[i]);
    setTabOrder(Text1[3], Combo1);

    Label2 = new QLabel(QStringLiteral("密码不保存在本程序的设置中：请写在 ~/.pgpass 文件里（权限 0600），"
                                       "或在连接时输入，只在本次运行中使用。"),
                        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setGeometry(ui::twips(360), ui::twips(3660), ui::twips(5880), ui::twips(600));

    const QString buttons[] = {QStringLiteral("测试连接"), QStringLiteral("确定"), QStringLiteral("取消")};
    for (int i = 0; i < 3; ++i) {
        button1[i] = new UserControl1(this);
        button1[i]->setObjectName(QStringLiteral("button1_%1").arg(i));
        button1[i]->setCaption(buttons[i]);
        button1[i]->setGeometry(ui::twips(360 + i * 1500 + (i > 0 ? 1560 : 0)), ui::twips(4500), ui::twips(1320),
                                ui::twips(420));
    }
    connect(button1[0], &UserControl1::Click, this, [this] { button1_0_Click(); });
    connect(button1[1], &UserControl1::Click, this, [this] { button1_1_Click(); });
    connect(button1[2], &UserControl1::Click, this, [this] { close(); });
    connect(Option1_0, &QRadioButton::toggled, this, [this] { enableFields(); });
    connect(Option1_1, &QRadioButton::toggled, this, [this] { enableFields(); });
}

DataSource_Form *DataSource_Form::showWindow()
{
    DataSource_Form *w = ui::Shared<DataSource_Form>([] { return new DataSource_Form; });
    w->load();
    return w;
}

void DataSource_Form::load()
{
    const std::optional<db::ServerShop> &shop = db::ShopLocation::server();
    (shop ? Option1_1 : Option1_0)->setChecked(true);
    const db::ServerShop shown = shop.value_or(db::ServerShop());
    Text1[0]->setText(shown.host);
    Text1[1]->setText(QString::number(shown.port));
    Text1[2]->setText(shown.database);
    Text1[3]->setText(shown.user);
    const int ssl = Combo1->findData(shown.sslmode);
    if (ssl >= 0) {
        Combo1->setCurrentIndex(ssl);
    } else {
        Combo1->addItem(shown.sslmode, shown.sslmode);
        Combo1->setCurrentIndex(Combo1->count() - 1);
    }
    enableFields();
}

void DataSource_Form::enableFields()
{
    const bool server = Option1_1->isChecked();
    for (QLineEdit *t : Text1)
        t->setEnabled(server);
    Combo1->setEnabled(server);
    button1[0]->setEnabled(server);
}

std::optional<db::ServerShop> DataSource_Form::typedShop(QString *problem) const
{
    db::ServerShop shop;
    shop.host = Text1[0]->text().trimmed();
    bool ok = false;
    shop.port = Text1[1]->text().trimmed().isEmpty() ? 5432 : Text1[1]->text().trimmed().toInt(&ok);
    if (!Text1[1]->text().trimmed().isEmpty() && (!ok || shop.port < 1 || shop.port > 65535)) {
        *problem = QStringLiteral("端口必须是 1 到 65535 之间的数。");
        return std::nullopt;
    }
    shop.database = Text1[2]->text().trimmed();
    if (shop.database.isEmpty()) {
        *problem = QStringLiteral("请输入数据库名。");
        return std::nullopt;
    }
    shop.user = Text1[3]->text().trimmed();
    shop.sslmode = Combo1->currentData().toString();
    return shop;
}

void DataSource_Form::button1_0_Click()
{
    QString problem;
    const auto shop = typedShop(&problem);
    if (!shop) {
        msg::information(this, problem);
        return;
    }
    const auto layout = startup::WithServerPassword(this, *shop, [&] { return db::ProbeServerShop(*shop); });
    if (!layout)
        return;
    if (!*layout) {
        msg::information(this, QStringLiteral("连接失败：\n%1").arg(layout->error()));
        return;
    }
    const int version = layout->value();
    QString what;
    if (version == db::ServerLayout::Empty)
        what = QStringLiteral("数据库中还没有店铺数据，使用时将在其中建立一个新店铺。");
    else if (version == db::ServerLayout::Foreign)
        what = QStringLiteral("但数据库中存放的是别的内容，不是本程序的数据，不能使用。");
    else if (version > db::ServerSchemaVersion())
        what = QStringLiteral("但数据库中的店铺由更新版本的程序写入，本程序无法使用。");
    else
        what = QStringLiteral("数据库中有一个本程序的店铺，可以使用。");
    msg::information(this, QStringLiteral("连接成功：%1\n%2").arg(shop->describe(), what));
}

void DataSource_Form::button1_1_Click()
{
    if (Option1_0->isChecked()) {
        if (db::ShopLocation::server() && !switchTo(std::nullopt))
            return;
        close();
        return;
    }
    QString problem;
    const auto shop = typedShop(&problem);
    if (!shop) {
        msg::information(this, problem);
        return;
    }
    if (db::ShopLocation::server() == shop) {
        close();
        return;
    }
    const auto layout = startup::WithServerPassword(this, *shop, [&] { return db::ProbeServerShop(*shop); });
    if (!layout)
        return;
    if (!*layout) {
        msg::information(this, layout->error());
        return;
    }
    if (layout->value() == db::ServerLayout::Empty
        && !msg::confirm(this,
                         QStringLiteral("%1 中还没有店铺数据。\n是否在其中建立一个新的店铺？当前登录的用户将成为它的账户。")
                             .arg(shop->describe()),
                         QStringLiteral("系统提醒您：")))
        return;
    const auto opened = startup::WithServerPassword(this, *shop, [&] { return db::OpenServerShop(*shop, true); });
    if (!opened)
        return;
    if (!*opened) {
        msg::information(this, opened->error());
        return;
    }
    if (switchTo(shop))
        close();
}

bool DataSource_Form::switchTo(const std::optional<db::ServerShop> &shop)
{
    const std::optional<db::ServerShop> before = db::ShopLocation::server();
    auto use = [](const std::optional<db::ServerShop> &s) {
        if (s)
            db::ShopLocation::useServer(*s);
        else
            db::ShopLocation::useFile();
    };
    use(shop);
    db::Status s = db::AdoptAccount(db::Session::CurrentUser(), db::Session::CurrentPassword());
    if (!s) {
        use(before);
        msg::information(this, s.error());
        return false;
    }
    // With the demonstration data in use the new shop takes over when it is switched off.
    if (!db::DemoData::enabled()) {
        const db::LookupLists lists = db::Lookups();
        db::Lookups().clearAll();
        s = db::LoadLookupLists();
        if (!s) {
            use(before);
            db::Lookups() = lists;
            msg::information(this, s.error());
            return false;
        }
    }
    db::SaveServerShop(shop);
    if (!db::DemoData::enabled()) {
        ui::DataSwitch::announce();
        startup::WarmSearchInBackground();
    }
    return true;
}
