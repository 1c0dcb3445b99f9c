#include "printing/countersettings_form.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "hoverpad/usercontrol1.h"
#include "printing/countersettings.h"
#include "printing/slip.h"
#include "ui/textlimit.h"
#include "ui/windowhost.h"

namespace printing {

counterSettings_Form::counterSettings_Form(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("counterSettings_Form"));
    setWindowTitle(QStringLiteral("柜台设置"));
    m_shop = new QLineEdit(ShopName(), this);
    m_shop->setObjectName(QStringLiteral("ShopName"));
    ui::LimitLength(m_shop, 40);
    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("SlipMode"));
    m_mode->addItem(QStringLiteral("每次都打印"), int(SlipMode::Always));
    m_mode->addItem(QStringLiteral("每次询问"), int(SlipMode::Ask));
    m_mode->addItem(QStringLiteral("不打印"), int(SlipMode::Never));
    m_mode->setCurrentIndex(m_mode->findData(int(SlipPrinting())));
    m_paper = new QComboBox(this);
    m_paper->setObjectName(QStringLiteral("SlipPaper"));
    for (const SlipPaper &p : SlipPapers())
        m_paper->addItem(p.caption, p.key);
    m_paper->setCurrentIndex(qMax(0, m_paper->findData(SlipPaperByKey(SlipWidthKey()).key)));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("店名"), m_shop);
    form->addRow(QStringLiteral("租碟单/还碟单"), m_mode);
    form->addRow(QStringLiteral("单据纸张"), m_paper);
    auto *ok = new UserControl1(this);
    ok->setObjectName(QStringLiteral("Button1_0"));
    ok->setCaption(QStringLiteral("√确定"));
    ok->setFixedSize(90, 26);
    connect(ok, &UserControl1::Click, this, [this] {
        save();
        ui::CloseWindow(this);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *main = new QVBoxLayout(this);
    main->addLayout(form);
    main->addStretch();
    main->addLayout(buttons);
    resize(380, 170);
}

void counterSettings_Form::save()
{
    SetShopName(m_shop->text().trimmed());
    SetSlipPrinting(SlipMode(m_mode->currentData().toInt()));
    SetSlipWidthKey(m_paper->currentData().toString());
}

} // namespace printing
