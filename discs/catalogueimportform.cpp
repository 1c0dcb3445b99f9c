#include "discs/catalogueimportform.h"

#include <QProgressDialog>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include "hoverpad/usercontrol1.h"
#include "ui/backgroundwork.h"
#include "ui/messages.h"
#include "ui/progressdialog.h"
#include "ui/reloadflag.h"

namespace {

UserControl1 *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new UserControl1(parent);
    b->setObjectName(QLatin1String(name));
    b->setCaption(caption);
    b->setFixedSize(100, 25);
    return b;
}

} // namespace

CatalogueImportForm::CatalogueImportForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("catalogueImportForm"));
    setWindowTitle(QStringLiteral("导入碟片目录"));
    resize(900, 600);

    auto *top = new QHBoxLayout;
    UserControl1 *choose = makeButton(this, "choose", QStringLiteral("选择文件"));
    top->addWidget(choose);
    m_path = new QLabel(QStringLiteral("请选择 CSV 文件（第一行为栏名：碟名、主角、导演/监制、所属柜位、碟装、国家、"
                                       "媒介分类、内容分类、碟片简介、封面文件）"), this);
    m_path->setObjectName(QStringLiteral("path"));
    m_path->setWordWrap(true);
    top->addWidget(m_path, 1);
    m_encoding = new QLabel(this);
    m_encoding->setObjectName(QStringLiteral("encoding"));
    top->addWidget(m_encoding);

    m_preview = new QTableWidget(this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->verticalHeader()->setVisible(false);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_problems = new QPlainTextEdit(this);
    m_problems->setObjectName(QStringLiteral("problems"));
    m_problems->setReadOnly(true);
    m_problems->setMaximumHeight(130);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_summary, 1);
    m_import = makeButton(this, "import", QStringLiteral("导入"));
    m_import->setEnabled(false);
    UserControl1 *close = makeButton(this, "close", QStringLiteral("关闭"));
    bottom->addWidget(m_import);
    bottom->addWidget(close);

    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(m_preview, 1);
    all->addWidget(new QLabel(QStringLiteral("有问题的行（不导入）："), this));
    all->addWidget(m_problems);
    all->addLayout(bottom);

    connect(choose, &UserControl1::Click, this, &CatalogueImportForm::chooseFile);
    connect(m_import, &UserControl1::Click, this, [this] { importLines(); });
    connect(close, &UserControl1::Click, this, &QWidget::close);
}

void CatalogueImportForm::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("选择碟片目录"), QString(),
                                                      QStringLiteral("CSV 文件 (*.csv *.txt);;所有文件 (*)"));
    if (!path.isEmpty())
        openFile(path);
}

bool CatalogueImportForm::openFile(const QString &path)
{
    auto read = db::ReadCatalogue(path);
    m_loaded = false;
    m_import->setEnabled(false);
    m_preview->clear();
    m_preview->setRowCount(0);
    m_problems->clear();
    if (!read) {
        m_summary->clear();
        m_encoding->clear();
        msg::information(this, read.error());
        return false;
    }
    m_file = read.value();
    m_loaded = true;
    m_path->setText(QDir::toNativeSeparators(path));
    m_encoding->setText(QStringLiteral("编码：%1").arg(m_file.encoding));

    const QStringList headers = {QStringLiteral("行"),     QStringLiteral("碟名"),     QStringLiteral("主角"),
                                 QStringLiteral("导演/监制"), QStringLiteral("所属柜位"), QStringLiteral("碟装"),
                                 QStringLiteral("国家"),   QStringLiteral("媒介分类"), QStringLiteral("内容分类"),
                                 QStringLiteral("问题")};
    m_preview->setColumnCount(int(headers.size()));
    m_preview->setHorizontalHeaderLabels(headers);
    const int rows = int(std::min<qsizetype>(kPreviewRows, m_file.lines.size()));
    m_preview->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        const db::CatalogueLine &l = m_file.lines.at(r);
        const QStringList cells = {QString::number(l.line), l.fields.title,   l.fields.starring,
                                   l.fields.director,       l.fields.shelf,   l.fields.count,
                                   l.fields.country,        l.fields.media,   l.fields.category,
                                   l.problems.join(QStringLiteral("；"))};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            if (!l.problems.isEmpty())
                item->setForeground(Qt::red);
            m_preview->setItem(r, c, item);
        }
    }
    m_preview->resizeColumnsToContents();
    m_preview->horizontalHeader()->setStretchLastSection(true);

    QStringList problems;
    for (const db::CatalogueLine &l : std::as_const(m_file.lines)) {
        if (!l.problems.isEmpty())
            problems << QStringLiteral("第 %1 行：%2").arg(l.line).arg(l.problems.join(QStringLiteral("；")));
    }
    m_problems->setPlainText(problems.join(QLatin1Char('\n')));
    QString summary = QStringLiteral("共 %1 行，可导入 %2 行，有问题 %3 行")
                          .arg(m_file.lines.size()).arg(m_file.goodLines()).arg(m_file.badLines());
    if (!m_file.ignored.isEmpty())
        summary += QStringLiteral("；不认识的栏（不导入）：%1").arg(m_file.ignored.join(QStringLiteral("、")));
    m_summary->setText(summary);
    m_import->setEnabled(m_file.goodLines() > 0);
    return true;
}

qint64 CatalogueImportForm::importLines()
{
    if (!m_loaded || m_file.goodLines() == 0)
        return -1;
    if (m_file.badLines() > 0
        && !msg::confirm(this, QStringLiteral("有 %1 行有问题，不会导入。导入其余 %2 行吗？")
                                   .arg(m_file.badLines()).arg(m_file.goodLines()),
                         QStringLiteral("系统提醒您：")))
        return -1;
    db::Result<qint64> done = db::Status::failure(QString());
    {
        // On a thread of its own: the commit of a large import is one long step.
        ui::ProgressDialog progress(this, QStringLiteral("导入碟片目录"));
        ui::RunInBackground(progress, [&](db::Progress &p) { done = db::ImportCatalogue(m_file, p); });
    }
    if (!done) {
        msg::information(this, done.error());
        return -1;
    }
    // The lists show the new discs the next time they are activated.
    ui::ReloadFlag::set();
    m_import->setEnabled(false);
    msg::information(this, QStringLiteral("导入完毕：%1 张碟片。").arg(*done));
    return *done;
}
