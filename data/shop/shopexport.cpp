#include "data/shop/shopexport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include "data/shop/csvexport.h"
#include "data/store/connection.h"

namespace db {

namespace {

struct Column
{
    const char *name;
    const char *header;
};

struct Table
{
    const char *table;
    const char *title;
    QList<Column> columns;
};

const QList<Table> &tables()
{
    static const QList<Table> all = {
        {"table1", "碟片",
         {{"id", "碟片编号"}, {"t13", "碟名"}, {"t14", "主角"}, {"t10", "国家"}, {"t11", "导演/监制"},
          {"t18", "媒介分类"}, {"t7", "碟装"}, {"t20", "内容分类"}, {"t38", "所属柜位"}, {"t41", "备注"},
          {"t34", "碟片简介"}, {"img1", "封面文件"}, {"s1", "租出日期"}, {"s2", "登记日期"}, {"s3", "租给"},
          {"s4", "出租次数"}, {"c1", "c1"}, {"c2", "c2"}}},
        {"table2", "客户",
         {{"id", "客户编号"}, {"t1", "姓名"}, {"t2", "身份证"}, {"t3", "办证类型"}, {"s4", "办证日期"},
          {"t4", "押金/元"}, {"s5", "押金日期"}, {"t5", "备注"}, {"s1", "租碟日期"}, {"s2", "租碟累计/张"},
          {"s3", "还清"}}},
        {"table3", "选择列表",
         {{"id", "编号"}, {"s2", "内容类别"}, {"s3", "办证类型"}, {"s6", "国别"}, {"s8", "导演/监制"},
          {"s9", "所属柜位"}, {"s11", "媒介类别"}, {"s13", "主角"}}},
        {"table4", "租碟记录",
         {{"id", "记录编号"}, {"discid", "碟片编号"}, {"discname", "碟名"}, {"khid", "客户编号"},
          {"s1", "租碟日期"}, {"s2", "状态"}, {"s3", "还碟日期"}, {"s4", "删除日期"}}},
        {"table5", "作废会员卡",
         {{"id", "编号"}, {"khid", "客户编号"}, {"s1", "办证类型"}, {"s2", "办证日期"}, {"s3", "作废日期"}}},
        {"table6", "退还押金",
         {{"id", "编号"}, {"khid", "客户编号"}, {"s1", "押金/元"}, {"s2", "押金日期"}, {"s3", "退还日期"}}},
        // The passwords stay in the program.
        {"table7", "操作员", {{"id", "编号"}, {"t1", "用户名"}}},
        {"table8", "登录记录",
         {{"id", "编号"}, {"loginer_id", "操作员编号"}, {"loginer", "操作员"}, {"login_time", "登录时间"}}},
    };
    return all;
}

const QString kCovers = QStringLiteral("封面");

// The picture's kind from its first bytes; the entry window takes JPEG and BMP files.
QString coverSuffix(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xD8"))
        return QStringLiteral("jpg");
    if (bytes.startsWith("BM"))
        return QStringLiteral("bmp");
    if (bytes.startsWith("\x89PNG"))
        return QStringLiteral("png");
    if (bytes.startsWith("GIF8"))
        return QStringLiteral("gif");
    return QStringLiteral("bin");
}

// A value as text; numbers and dates look the same on both engines.
void appendValue(QByteArray &out, const QVariant &v)
{
    if (v.isNull())
        return;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        out += QByteArray::number(v.toLongLong());
        return;
    case QMetaType::QDate:
        out += v.toDate().toString(Qt::ISODate).toLatin1();
        return;
    default:
        AppendCsvField(out, v.toString());
    }
}

class Writer
{
public:
    Writer(Connection &c, const QString &folder, Progress &progress) : m_c(c), m_folder(folder), m_progress(progress) {}

    Status table(const Table &t, const ExportedTable &out, ShopExport &done)
    {
        QStringList names;
        for (const Column &col : t.columns)
            names << QLatin1String(col.name);
        auto count = m_c.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(t.table)));
        if (!count)
            return count.status();
        const qint64 total = count->toLongLong();
        m_progress.stage(QStringLiteral("正在导出%1（%2 行）…").arg(QString::fromUtf8(t.title)).arg(total), total);
        CsvFile file(QDir(m_folder).filePath(out.file));
        if (Status s = file.open(out.headers); !s)
            return s;
        auto rows = m_c.run(QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(names.join(u','), QLatin1String(t.table)));
        if (!rows)
            return rows.status();
        QSqlQuery &r = rows.value();
        const int columns = int(names.size());
        const int cover = int(names.indexOf(QStringLiteral("img1")));
        qint64 written = 0;
        while (r.next()) {
            for (int i = 0; i < columns; ++i) {
                if (i > 0)
                    file.separator();
                const QVariant v = r.value(i);
                if (i != cover) {
                    appendValue(file.line(), v);
                } else if (!v.isNull()) {
                    auto path = writeCover(r.value(0).toLongLong(), v.toByteArray());
                    if (!path)
                        return path.status();
                    AppendCsvField(file.line(), *path);
                    ++done.covers;
                }
            }
            if (Status s = file.endLine(); !s)
                return s;
            ++written;
            if ((written & 255) == 0 && !m_progress.advance(written))
                return Status::failure(ExportCancelled());
        }
        if (r.lastError().isValid())
            return m_c.failure(r.lastError());
        r.finish();
        m_progress.advance(written);
        done.rows += written;
        return file.commit();
    }

private:
    // 封面/0001/001234.jpg: a thousand discs a folder keeps every folder easy to open.
    Result<QString> writeCover(qint64 id, const QByteArray &bytes)
    {
        const QString sub = kCovers + u'/' + QStringLiteral("%1").arg(id / 1000, 4, 10, QLatin1Char('0'));
        if (sub != m_coverDir) {
            if (!QDir(m_folder).mkpath(sub))
                return Status::failure(QStringLiteral("无法建立文件夹 %1").arg(QDir::toNativeSeparators(QDir(m_folder).filePath(sub))), Fault::IO);
            m_coverDir = sub;
        }
        const QString relative = sub + u'/' + QStringLiteral("%1.%2").arg(id, 6, 10, QLatin1Char('0')).arg(coverSuffix(bytes));
        QFile f(QDir(m_folder).filePath(relative));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush())
            return Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(f.fileName()), f.errorString()), Fault::IO);
        return relative;
    }

    Connection &m_c;
    QString m_folder;
    Progress &m_progress;
    QString m_coverDir;
};

// A name not taken yet in parent: 澜岚数据 2026-12-09 0631, then (2), (3)...
QString freeName(const QDir &parent)
{
    const QString base = QStringLiteral("澜岚数据 %1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HHmmss")));
    QString name = base;
    for (int n = 2; parent.exists(name) || parent.exists(QStringLiteral(".%1.part").arg(name)); ++n)
        name = QStringLiteral("%1 (%2)").arg(base).arg(n);
    return name;
}

} // namespace

const QList<ExportedTable> &ExportedTables()
{
    static const QList<ExportedTable> all = [] {
        QList<ExportedTable> out;
        for (const Table &t : tables()) {
            ExportedTable e;
            e.table = QLatin1String(t.table);
            e.file = QStringLiteral("%1 %2.csv").arg(QLatin1String(t.table), QString::fromUtf8(t.title));
            for (const Column &c : t.columns) {
                e.columns << QLatin1String(c.name);
                e.headers << QStringLiteral("%1 %2").arg(QString::fromUtf8(c.header), QLatin1String(c.name));
            }
            out << e;
        }
        return out;
    }();
    return all;
}

Result<ShopExport> ExportShop(Connection &c, const QString &parent, Progress &progress)
{
    if (!c.ok())
        return c.status();
    QDir into(parent);
    if (!into.exists())
        return Status::failure(QStringLiteral("文件夹不存在：%1").arg(QDir::toNativeSeparators(parent)), Fault::Missing);
    const QString name = freeName(into);
    // Everything is written into a hidden folder that takes its name only at the end.
    const QString part = into.filePath(QStringLiteral(".%1.part").arg(name));
    if (!into.mkdir(QStringLiteral(".%1.part").arg(name)))
        return Status::failure(QStringLiteral("无法在 %1 中建立文件夹。").arg(QDir::toNativeSeparators(parent)), Fault::IO);
    ShopExport done;
    // One read transaction, so the tables agree with each other as of one moment; it takes
    // no write lock, so the counters go on renting while the files are written.
    Status s = c.exec(c.pick("BEGIN", "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    if (s) {
        Writer w(c, part, progress);
        for (qsizetype i = 0; s && i < tables().size(); ++i)
            s = w.table(tables().at(i), ExportedTables().at(i), done);
        c.exec(QStringLiteral("ROLLBACK"));
    }
    if (s) {
        done.folder = into.filePath(name);
        if (!into.rename(QStringLiteral(".%1.part").arg(name), name))
            s = Status::failure(QStringLiteral("无法建立文件夹 %1").arg(QDir::toNativeSeparators(done.folder)), Fault::IO);
    }
    if (!s) {
        QDir(part).removeRecursively();
        return s;
    }
    return done;
}

Result<ShopExport> ExportShop(const QString &parent, Progress &progress)
{
    Connection c;
    return ExportShop(c, parent, progress);
}

} // namespace db
