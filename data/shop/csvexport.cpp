#include "data/shop/csvexport.h"

#include <QStringEncoder>

#include "data/store/connection.h"

namespace db {

namespace {

constexpr qsizetype kFlushBytes = 1 << 20;

// A NUL is quoted too, so that a reader that stops at it sees a field it must close.
bool needsQuotes(QStringView text)
{
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u <= u',' && (u == u',' || u == u'"' || u == u'\r' || u == u'\n' || u == 0))
            return true;
    }
    return false;
}

void appendUtf8(QByteArray &out, QStringView text)
{
    // One pass straight into the line, without a QByteArray per field.
    static thread_local QStringEncoder utf8(QStringEncoder::Utf8);
    const qsizetype at = out.size();
    out.resize(at + utf8.requiredSpace(text.size()));
    char *end = utf8.appendToBuffer(out.data() + at, text);
    out.resize(end - out.constData());
}

} // namespace

void AppendCsvField(QByteArray &out, QStringView text)
{
    if (!needsQuotes(text)) {
        appendUtf8(out, text);
        return;
    }
    out += '"';
    qsizetype from = 0;
    for (qsizetype q = text.indexOf(u'"'); q >= 0; q = text.indexOf(u'"', from)) {
        appendUtf8(out, text.mid(from, q - from));
        out += "\"\"";
        from = q + 1;
    }
    appendUtf8(out, text.mid(from));
    out += '"';
}

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
        AppendCsvField(line, fields.at(i));
    }
    line += "\r\n";
    return line;
}

QString ExportCancelled()
{
    return QStringLiteral("导出已取消，没有写出文件。");
}

CsvFile::CsvFile(const QString &path) : m_file(path) {}

Status CsvFile::failure() const
{
    return Status::failure(QStringLiteral("无法写入文件 %1：%2").arg(m_file.fileName(), m_file.errorString()), Fault::IO);
}

Status CsvFile::open(const QStringList &headers)
{
    if (!m_file.open(QIODevice::WriteOnly))
        return failure();
    m_buffer = CsvByteOrderMark() + CsvLine(headers);
    m_buffer.reserve(kFlushBytes + (64 << 10));
    return {};
}

Status CsvFile::endLine()
{
    m_buffer += "\r\n";
    if (m_buffer.size() < kFlushBytes)
        return {};
    const bool written = m_file.write(m_buffer) == m_buffer.size();
    m_buffer.resize(0);
    return written ? Status() : failure();
}

Status CsvFile::commit()
{
    if (!m_buffer.isEmpty() && m_file.write(m_buffer) != m_buffer.size())
        return failure();
    m_buffer.resize(0);
    if (!m_file.commit())
        return failure();
    return {};
}

Status ExportCsv(Connection &c, const PagedQuery &q, const QStringList &headers, const CsvCells &cells,
                 const QString &path, Progress &progress)
{
    auto total = CountRows(c, q);
    if (!total)
        return total.status();
    CsvFile file(path);
    if (Status s = file.open(headers); !s)
        return s;
    progress.stage(QStringLiteral("正在导出 %1 条记录…").arg(*total), *total);
    qint64 done = 0;
    Status stop;
    Status read = ReadAllRows(c, q, [&](const QVariantList &row) {
        const QStringList fields = cells(row);
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                file.separator();
            AppendCsvField(file.line(), fields.at(i));
        }
        stop = file.endLine();
        ++done;
        if (stop && (done & 255) == 0 && !progress.advance(done))
            stop = Status::failure(ExportCancelled());
        return stop.ok();
    });
    if (!read || !stop) {
        file.abandon();
        return read ? stop : read;
    }
    progress.advance(done);
    return file.commit();
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
