#include "data/shop/csvexport.h"

#include <QSaveFile>

#include "data/store/connection.h"

namespace db {

namespace {

QByteArray csvField(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    // A NUL is quoted too, so that a reader that stops at it sees a field it must close.
    static const char special[] = {',', '"', '\r', '\n', '\0'};
    bool quote = false;
    for (char ch : special)
        quote = quote || bytes.contains(ch);
    if (!quote)
        return bytes;
    bytes.replace('"', QByteArrayLiteral("\"\""));
    return '"' + bytes + '"';
}

} // namespace

QByteArray CsvByteOrderMark()
{
    return QByteArrayLiteral("\xEF\xBB\xBF");
}

QByteArray CsvLine(const QStringList &fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += csvField(fields.at(i));
    }
    line += "\r\n";
    return line;
}

QString ExportCancelled()
{
    return QStringLiteral("导出已取消，没有写出文件。");
}

Status ExportCsv(Connection &c, const PagedQuery &q, const QStringList &headers, const CsvCells &cells,
                 const QString &path, Progress &progress)
{
    auto total = CountRows(c, q);
    if (!total)
        return total.status();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()), Fault::IO);
    progress.stage(QStringLiteral("正在导出 %1 条记录…").arg(*total), *total);
    QByteArray buffer = CsvByteOrderMark() + CsvLine(headers);
    qint64 done = 0;
    bool stopped = false;
    bool writeFailed = false;
    Status read = ReadAllRows(c, q, [&](const QVariantList &row) {
        buffer += CsvLine(cells(row));
        ++done;
        if (buffer.size() >= (1 << 20)) {
            writeFailed = file.write(buffer) != buffer.size();
            buffer.clear();
        }
        if ((done & 255) == 0 && !progress.advance(done))
            stopped = true;
        return !stopped && !writeFailed;
    });
    if (read && !stopped && !writeFailed)
        writeFailed = file.write(buffer) != buffer.size();
    if (!read || stopped || writeFailed) {
        file.cancelWriting();
        if (!read)
            return read;
        if (stopped)
            return Status::failure(ExportCancelled());
        return Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()), Fault::IO);
    }
    progress.advance(done);
    if (!file.commit())
        return Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()), Fault::IO);
    return {};
}

Status ExportCsv(const PagedQuery &q, const QStringList &headers, const CsvCells &cells, const QString &path,
                 Progress &progress)
{
    Connection c;
    if (!c.ok())
        return c.status();
    return ExportCsv(c, q, headers, cells, path, progress);
}

} // namespace db
