#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

#include "data/store/result.h"

namespace db {

class Connection;
struct LookupLists;

// The texts of the disc entry window as typed, and the photo path of its hidden box.
struct DiscFields
{
    QString title;     // t13  碟名
    QString shelf;     // t38  所属柜位
    QString count;     // t7   碟装 (digits only)
    QString media;     // t18  媒介分类
    QString starring;  // t14  主角
    QString director;  // t11  导演/监制
    QString country;   // t10  国家
    QString category;  // t20  内容分类
    QString remark;    // t41  备注
    QString synopsis;  // t34  碟片简介, kept exactly as typed
    // Empty: keep the stored photo. "none": remove it. Anything else: the file to store.
    QString photoPath;
};

// A stored disc as the entry window shows it. A field is absent when its column is NULL
// or empty, so the window leaves its own text there.
struct LoadedDisc
{
    qint64 id = 0;
    std::optional<QString> title, shelf, count, media, starring, director, country, category,
        remark, synopsis;
    QByteArray photo;      // the stored bytes; empty without a photo
    QString photoFile;     // a scratch file of its own holding those bytes; empty without a photo
    QString photoProblem;  // why the scratch file could not be written; the rest still loads
    bool rentedOut = false; // the newest rental record of this disc is still open
};

// A cover file larger than this is not a cover: it is refused before it is read whole.
constexpr qint64 kMaxPhotoBytes = 100 * 1024 * 1024;

// Message shown when the count holds anything but the digits 0 to 9.
QString CountDigitsMessage();
// True for an empty (after trimming) count or one made of the digits 0 to 9 only.
bool IsCountText(const QString &text);

// Fills the lowest free slot after appending one blank row; returns the number stored.
// Refuses an empty title and a count that is not digits; nothing is stored then.
Result<qint64> AddDisc(const DiscFields &fields);
// The same inside a transaction the caller holds (an import of many discs): nothing is
// committed, and the lookup values go into `lists`, which the caller makes current once
// its commit succeeded.
Result<qint64> AddDisc(Connection &c, const DiscFields &fields, LookupLists &lists);

// AddDisc for many discs in one transaction the caller holds (an import): the same rows,
// slots and lookup values as AddDisc one disc after another, with its statements prepared
// once and each lookup column read once. The lookup values go into `lists`, which the
// caller makes current once its commit succeeded.
class DiscAdder
{
public:
    DiscAdder(Connection &c, LookupLists &lists);
    ~DiscAdder();
    DiscAdder(const DiscAdder &) = delete;
    DiscAdder &operator=(const DiscAdder &) = delete;
    Result<qint64> add(const DiscFields &fields);

private:
    struct State;
    std::unique_ptr<State> m;
};

// Stores the non-empty fields into the disc; an empty field keeps its column. A disc that
// is out is refused, as the entry window shows it read-only.
Status UpdateDisc(qint64 id, const DiscFields &fields);

// The stored disc, its photo written to a fresh scratch file, and its rental state.
Result<LoadedDisc> LoadDisc(qint64 id);

// Blanks each disc back to a free slot and marks its rental records "已删除" with today's
// date, all in one transaction. An empty list changes nothing.
Status DeleteDiscs(const QList<qint64> &ids);

// A new file in the scratch folder holding bytes; every call gets a name of its own.
Result<QString> WriteScratchPhoto(const QByteArray &bytes);

} // namespace db
