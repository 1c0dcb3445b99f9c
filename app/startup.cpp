#include "app/startup.h"

#include "app/firstaccount_dialog.h"
#include "ui/messages.h"
#include "app/password_form.h"
#include "app/serverpassword_dialog.h"
#include "data/shop/accounts.h"
#include "data/safety/backups.h"
#include "data/shop/demodata.h"
#include "data/store/programdir.h"
#include "data/store/connection.h"
#include "data/store/serverschema.h"

#include "data/store/progress.h"
#include "ui/backgroundwork.h"
#include "ui/progressdialog.h"
#include "ui/reloadflag.h"

#include <QProgressDialog>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <optional>

namespace startup {

namespace {

// The upgrade of a file an earlier release wrote runs when the file is first opened; its
// dialog appears only if an upgrade reports, so an ordinary start shows none.
class UpgradeProgress final : public db::Progress
{
public:
    void stage(const QString &what, qint64 steps) override
    {
        if (!m_dialog)
            m_dialog = std::make_unique<ui::ProgressDialog>(nullptr, QStringLiteral("升级数据文件"), false);
        m_dialog->stage(what, steps);
    }
    bool advance(qint64 done) override { return m_dialog ? m_dialog->advance(done) : true; }

private:
    std::unique_ptr<ui::ProgressDialog> m_dialog;
};

// The first open of a shop an earlier release wrote upgrades it, which at a million discs
// takes seconds: that open runs on a worker thread behind a dialog, so no window freezes.
// The dialog appears only when the open takes a moment.
template <typename Open>
auto OpenInBackground(const QString &title, const QString &what, Open open) -> decltype(open())
{
    ui::ProgressDialog dialog(nullptr, title, false);
    dialog.stage(what, 0);
    std::optional<decltype(open())> result;
    ui::RunInBackground(dialog, [&](db::Progress &) { result.emplace(open()); });
    return std::move(*result);
}

// False when the file in use cannot be opened for a reason a backup does not mend (that
// reason then shown); a damaged file goes on to the offer of a backup.
bool upgradeFile()
{
    const QString file = db::RealDatabaseFile();
    if (!QFileInfo::exists(file))
        return true;
    const db::Status opened = OpenInBackground(QStringLiteral("升级数据文件"), QStringLiteral("正在打开数据文件…"), [&] {
        db::Connection c(file);
        return c.status();
    });
    if (opened || opened.fault() == db::Fault::Damaged)
        return true;
    msg::information(nullptr, opened.error());
    return false;
}

} // namespace

Restore offerRestore()
{
    const QString file = db::RealDatabaseFile();
    const bool missing = !QFileInfo::exists(file);
    QString reason;
    if (!missing) {
        const db::Result<bool> users = db::HasAnyUser();
        if (users || users.status().fault() != db::Fault::Damaged)
            return Restore::NotNeeded;
        reason = users.error();
    }
    const auto backup = db::NewestGoodBackup(file);
    if (!backup)
        return Restore::NotNeeded;
    const QString when = db::BackupTime(*backup).toString(QStringLiteral("yyyy年M月d日 H:mm"));
    const QString question = missing
        ? QStringLiteral("找不到数据文件 db.sqlite。\n\n是否用 %1 的备份恢复？\n选“取消”将建立一个空的数据文件。").arg(when)
        : QStringLiteral("数据文件 db.sqlite 已损坏，无法打开：\n%1\n\n是否用 %2 的备份恢复？\n损坏的文件将改名保留，不会删除。")
              .arg(reason, when);
    if (!msg::confirm(nullptr, question, QStringLiteral("系统提醒您：")))
        return Restore::Declined;
    const db::Result<QString> kept = db::RestoreBackup(file, *backup);
    if (!kept) {
        msg::information(nullptr, kept.error());
        return Restore::Failed;
    }
    QString done = QStringLiteral("已用 %1 的备份恢复数据文件。备份之后录入的数据不在其中。").arg(when);
    if (!kept->isEmpty())
        done += QStringLiteral("\n损坏的文件保留为：%1").arg(QDir::toNativeSeparators(kept.value()));
    msg::information(nullptr, done);
    return Restore::Restored;
}

void ChooseShop(const QString &serverText)
{
    const auto shop = serverText.isEmpty() ? db::SavedServerShop() : db::ServerShop::parse(serverText);
    if (shop)
        db::ShopLocation::useServer(*shop);
    else
        db::ShopLocation::useFile();
}

Outcome start()
{
    UpgradeProgress upgrade;
    db::ScopedProgress watching(&upgrade);
    const std::optional<db::ServerShop> server = db::ShopLocation::server();
    // Declining goes on as without a backup: a damaged file is reported below, a missing
    // one is made anew. A server shop's backups are the server's (pg_dump).
    if (!server) {
        if (!upgradeFile())
            return Outcome::Failed;
        const Restore restore = offerRestore();
        // A backup kept by an earlier release is of its layout.
        if (restore == Restore::Failed || (restore == Restore::Restored && !upgradeFile()))
            return Outcome::Failed;
    }
    // demo.sqlite is wanted whichever shop is in use, and db.sqlite for a switch back to it.
    if (db::Status s = db::CreateDatabaseFiles(); !s) {
        msg::information(nullptr, s.error());
        return Outcome::Failed;
    }
    // On a server shop, another counter's change makes the open lists read afresh at their
    // next activation.
    db::Connection::watchServerChanges([] { ui::ReloadFlag::set(); });
    if (server) {
        // An empty database gets a new shop, an earlier layout is upgraded; a foreign
        // database or a newer layout is refused with the reason.
        const auto opened = WithServerPassword(nullptr, *server, [&] {
            return OpenInBackground(QStringLiteral("打开店铺"), QStringLiteral("正在连接数据库服务器…"),
                                    [&] { return db::OpenServerShop(*server, true); });
        });
        if (!opened)
            return Outcome::Cancelled;
        if (!*opened) {
            msg::information(nullptr, opened->error());
            return Outcome::Failed;
        }
    }
    db::CreateScratchDir();
    // No account yet: the shop keeper sets one before anyone can log in. Nothing is
    // written until the dialog succeeds, so cancelling asks again at the next start.
    const db::Result<bool> hasUser = db::HasAnyUser();
    if (!hasUser) {
        msg::information(nullptr, hasUser.error());
        return Outcome::Failed;
    }
    if (!hasUser.value()) {
        FirstAccount_Dialog first;
        if (first.exec() != QDialog::Accepted)
            return Outcome::Cancelled;
    }
    // The login window shows the main window, disabled until the login succeeds.
    Password_Form::open();
    return Outcome::Running;
}

} // namespace startup
