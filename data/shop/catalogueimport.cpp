#include "data/shop/catalogueimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "data/shop/lookuplists.h"
#include "data/store/connection.h"
#include "data/store/serverschema.h"

namespace db {

namespace {

// On a server, an import of this many discs or more has their kept counters counted once at
// its end (CountDiscsLater): cheaper than row by row from a few thousand discs on.
constexpr qint64 kCountedAtTheEndFrom = 2000;

struct FieldColumn
{
    QString DiscFields::*field;
    const char *name;     // as the problems name it
    int limit;            // 0: no limit of its own
    QStringList headers;  // the headers it is found under, compared without case and blanks
};

const QList<FieldColumn> &fieldColumns()
{
    static const QList<FieldColumn> columns = {
        {&DiscFields::title, "碟名", FieldLimits::title, {"碟名", "碟片名称", "名称", "片名", "title"}},
        {&DiscFields::starring, "主角", FieldLimits::starring, {"主角", "主演", "starring"}},
        {&DiscFields::director, "导演/监制", FieldLimits::director, {"导演/监制", "导演", "监制", "director"}},
        {&DiscFields::shelf, "所属柜位", FieldLimits::shelf, {"所属柜位", "柜位", "slot", "shelf"}},
        {&DiscFields::count, "碟装", FieldLimits::count, {"碟装", "碟数", "package count", "count"}},
        {&DiscFields::country, "国家", 0, {"国家", "国别", "country"}},
        {&DiscFields::media, "媒介分类", FieldLimits::media, {"媒介分类", "媒介类别", "媒介", "media"}},
        {&DiscFields::category, "内容分类", FieldLimits::category, {"内容分类", "内容类别", "类别", "category"}},
        {&DiscFields::remark, "备注", FieldLimits::remark, {"备注", "remark"}},
        {&DiscFields::synopsis, "碟片简介", FieldLimits::synopsis, {"碟片简介", "简介", "synopsis"}},
        {&DiscFields::photoPath, "封面文件", 0, {"封面文件", "封面", "cover", "cover file"}},
    };
    return columns;
}

QString headerKey(const QString &h)
{
    QString k = h.simplified().toLower();
    k.remove(QLatin1Char(' '));
    return k;
}

// UTF-8 when the bytes are valid UTF-8 (a byte-order mark says so too), else GB18030.
std::pair<QString, QString> decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {QStringLiteral("UTF-8"), QString::fromUtf8(bytes.mid(3))};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return {QStringLiteral("UTF-8"), text};
    QStringDecoder gb("GB18030");
    if (gb.isValid())
        return {QStringLiteral("GB18030"), gb.decode(bytes)};
    return {QString(), QString()};
}

} // namespace

qint64 CatalogueFile::goodLines() const
{
    qint64 n = 0;
    for (const CatalogueLine &l : lines)
        n += l.problems.isEmpty() ? 1 : 0;
    return n;
}

QString ImportCancelled()
{
    return QStringLiteral("导入已取消，没有导入任何碟片。");
}

QList<QStringList> ParseCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = text.at(i);
        if (quoted) {
            if (ch == u'"') {
                if (i + 1 < n && text.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += ch;
            }
        } else if (ch == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (ch == u',') {
            record << field;
            field.clear();
            wasQuoted = false;
        } else if (ch == u'\r' || ch == u'\n') {
            if (ch == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            record << field;
            records << record;
            record.clear();
            field.clear();
            wasQuoted = false;
        } else {
            field += ch;
        }
    }
    if (!field.isEmpty() || !record.isEmpty() || wasQuoted) {
        record << field;
        records << record;
    }
    return records;
}

Result<CatalogueFile> ReadCatalogue(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Status::failure(QStringLiteral("无法读取文件：%1").arg(QDir::toNativeSeparators(path)), Fault::IO);
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return Status::failure(QStringLiteral("无法读取文件：%1").arg(QDir::toNativeSeparators(path)), Fault::IO);
    CatalogueFile out;
    auto [encoding, text] = decode(bytes);
    if (encoding.isEmpty())
        return Status::failure(QStringLiteral("无法识别文件的编码。"));
    out.encoding = encoding;
    const QList<QStringList> records = ParseCsv(text);
    if (records.isEmpty())
        return Status::failure(QStringLiteral("文件是空的。"));
    out.headers = records.first();
    QList<int> columnOf(fieldColumns().size(), -1);
    for (int h = 0; h < out.headers.size(); ++h) {
        const QString key = headerKey(out.headers.at(h));
        bool matched = false;
        for (int c = 0; c < fieldColumns().size(); ++c) {
            for (const QString &name : fieldColumns().at(c).headers) {
                if (columnOf[c] < 0 && key == headerKey(name)) {
                    columnOf[c] = h;
                    matched = true;
                    break;
                }
            }
            if (matched)
                break;
        }
        if (!matched && !key.isEmpty())
            out.ignored << out.headers.at(h);
    }
    if (columnOf[0] < 0)
        return Status::failure(QStringLiteral("文件第一行没有“碟名”（或“碟片名称”）一栏。"));

    const QDir folder = QFileInfo(path).absoluteDir();
    // A record may span several lines of the file (a quoted synopsis); count them as read.
    qint64 lineNo = 1 + records.first().join(QString()).count(u'\n');
    for (qsizetype r = 1; r < records.size(); ++r) {
        const QStringList &cells = records.at(r);
        ++lineNo;
        const qint64 first = lineNo;
        for (const QString &cell : cells)
            lineNo += cell.count(u'\n');
        // A line with nothing in it (a spreadsheet's trailing empty rows) is no disc.
        if (std::all_of(cells.cbegin(), cells.cend(), [](const QString &c) { return c.trimmed().isEmpty(); }))
            continue;
        CatalogueLine line;
        line.line = first;
        for (int c = 0; c < fieldColumns().size(); ++c) {
            const FieldColumn &col = fieldColumns().at(c);
            const QString value = columnOf[c] >= 0 ? cells.value(columnOf[c]) : QString();
            // The synopsis is kept as written; every other field as the entry window trims it.
            const QString kept = col.field == &DiscFields::synopsis ? value : value.trimmed();
            line.fields.*(col.field) = kept;
            if (col.limit > 0 && kept.size() > col.limit)
                line.problems << QStringLiteral("%1超过 %2 个字").arg(QString::fromUtf8(col.name)).arg(col.limit);
        }
        if (line.fields.title.isEmpty())
            line.problems << QStringLiteral("缺少碟名");
        if (!IsCountText(line.fields.count))
            line.problems << QStringLiteral("碟装不是数字");
        if (!line.fields.photoPath.isEmpty()) {
            const QString cover = QDir::cleanPath(folder.absoluteFilePath(line.fields.photoPath));
            QFile file(cover);
            if (!QFileInfo(cover).isFile() || !file.open(QIODevice::ReadOnly))
                line.problems << QStringLiteral("封面文件无法读取：%1").arg(line.fields.photoPath);
            else if (file.size() > kMaxPhotoBytes)
                line.problems << QStringLiteral("封面文件太大：%1").arg(line.fields.photoPath);
            line.fields.photoPath = cover;
        }
        if (cells.size() > out.headers.size())
            line.problems << QStringLiteral("多出 %1 栏").arg(cells.size() - out.headers.size());
        out.lines << line;
    }
    return out;
}

Result<qint64> ImportCatalogue(const CatalogueFile &file, Progress &progress)
{
    Connection c;
    if (!c.ok())
        return c.status();
    // A large import changes more pages than the file's default cache holds; spilling them
    // before the commit costs a sync each time. This connection ends with the import.
    if (!c.onServer()) {
        if (Status s = c.exec(QStringLiteral("PRAGMA cache_size = -262144")); !s)
            return s;
    }
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    LookupLists lists = Lookups();
    const qint64 total = file.goodLines();
    progress.stage(QStringLiteral("正在导入 %1 张碟片…").arg(total), total);
    qint64 done = 0;
    DiscAdder adder(c, lists);
    auto addAll = [&]() -> Status {
        for (const CatalogueLine &line : file.lines) {
            if (!line.problems.isEmpty())
                continue;
            auto id = adder.add(line.fields);
            if (!id)
                return Status::failure(QStringLiteral("第 %1 行：%2").arg(line.line).arg(id.error()), id.status().fault());
            ++done;
            if ((done & 63) == 0 && !progress.advance(done))
                return Status::failure(ImportCancelled());
        }
        return {};
    };
    // Counting a few discs row by row costs less than counting every disc once.
    if (Status s = total >= kCountedAtTheEndFrom ? CountDiscsLater(c, addAll) : addAll(); !s)
        return s;
    progress.stage(QStringLiteral("正在保存…"), 0);
    if (Status s = tx.commit(); !s)
        return s;
    Lookups() = lists;
    progress.advance(done);
    return done;
}

} // namespace db
