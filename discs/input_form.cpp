#include "discs/input_form.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "data/store/formatting.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "data/store/records.h"
#include "discs/coverpicture.h"
#include "hoverpad/usercontrol1.h"
#include "lists/openers.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/textlimit.h"
#include "ui/twips.h"
#include "ui/underlinedfield.h"
#include "ui/windowhost.h"

using ui::twips;

namespace {

const QString kNewCaption = QStringLiteral("碟片登记");
const QString kRentedNotice = QStringLiteral("此碟已出租，暂时不能更改信息。请在归还后再更改信息。");
const QString kPhotoTitle = QStringLiteral("选择相片");
const QString kPhotoFilter = QStringLiteral("JPEG (*.jpg *.JPG *.jpeg *.JPEG);;BMP (*.bmp *.BMP)");
constexpr int kSynopsisMax = 800;

// Field indexes as the window's array numbers them.
enum Field { Title = 11, Shelf = 37, Count = 22, Media = 16, Starring = 12, Director = 17,
             Country = 18, Category = 36, Remark = 40, Synopsis = 41 };

// Lookup fields: width and left offset of the drop-down (twips) and the list it offers.
struct Placement
{
    int width;
    int offset;
    db::Lookup list;
};
const QHash<int, Placement> &placements()
{
    static const QHash<int, Placement> p = {
        {Starring, {2000, 50, db::Lookup::Starring}}, {Media, {1300, 50, db::Lookup::Media}},
        {Director, {2000, 50, db::Lookup::Director}}, {Country, {1000, 50, db::Lookup::Country}},
        {Category, {1200, 50, db::Lookup::Content}},  {Shelf, {1200, 0, db::Lookup::Shelf}},
    };
    return p;
}

input_Form::FileChooser &fileChooser()
{
    static input_Form::FileChooser chooser;
    return chooser;
}

QString askForFile(QWidget *parent, const QString &start)
{
    if (fileChooser())
        return fileChooser()(parent, kPhotoTitle, start, kPhotoFilter);
    return QFileDialog::getOpenFileName(parent, kPhotoTitle, start, kPhotoFilter);
}

// The cover picture: a label that reports clicks.
class CoverImage : public QLabel
{
public:
    using QLabel::QLabel;
    std::function<void()> clicked;

protected:
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && clicked)
            clicked();
    }
};

bool allDigits(const QString &text)
{
    for (QChar ch : text) {
        if (ch.unicode() < '0' || ch.unicode() > '9')
            return false;
    }
    return true;
}

} // namespace

const QList<int> &input_Form::fieldIndexes()
{
    static const QList<int> order = {Title, Shelf, Count, Media, Starring, Director, Country, Category, Remark,
                                     Synopsis};
    return order;
}

void input_Form::setFileChooser(FileChooser chooser)
{
    fileChooser() = std::move(chooser);
}

input_Form::input_Form(QWidget *parent) : input_Form(Purpose::NewEntry, parent)
{
}

input_Form::input_Form(Purpose purpose, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("input_Form"));
    setWindowTitle(kNewCaption);
    build();
    // Loading the window: its outer size and the number the next disc will get. A file that
    // cannot be read is then reported once, by the load of the disc to correct.
    resize(twips(12030), twips(8370));
    if (purpose == Purpose::NewEntry)
        showNextNumber();
}

void input_Form::buildField(int index, int labelIndex, const QString &label, int left, int top, int width, int maxLength,
                            const QString &designText, bool labelRight)
{
    ui::UnderlinedField f;
    f.index = index;
    f.labelIndex = labelIndex;
    f.label = label;
    f.left = left;
    f.top = top;
    f.width = width;
    f.maxLength = maxLength;
    f.designText = designText;
    f.labelRight = labelRight;
    f.labelGap = 2;
    QLineEdit *edit = ui::AddUnderlinedField(m_frame, f);
    edit->installEventFilter(this);
    m_fields.insert(index, edit);
}

void input_Form::build()
{
    m_frame = new QGroupBox(this);
    m_frame->setObjectName(QStringLiteral("Frame1"));
    m_frame->setGeometry(twips(135), twips(90), twips(10635), twips(7290));

    buildField(Title, 12, QStringLiteral("碟名"), 675, 300, 2310, 15, {});
    buildField(Shelf, 41, QStringLiteral("所属柜位"), 4230, 300, 570, 10, {});
    buildField(Count, 25, QStringLiteral("碟装"), 7215, 300, 480, 2, QStringLiteral("2"), true);
    buildField(Media, 18, QStringLiteral("媒介分类"), 9285, 300, 1065, 4, QStringLiteral("VCD"));
    buildField(Starring, 13, QStringLiteral("主角"), 705, 795, 1635, 20, {});
    buildField(Director, 19, QStringLiteral("导演/监制"), 3180, 810, 1545, 20, {});
    buildField(Country, 20, QStringLiteral("国家"), 5265, 780, 750, 0, {});
    buildField(Category, 40, QStringLiteral("内容分类"), 6840, 795, 975, 10, QStringLiteral("动作"));
    buildField(Remark, 44, QStringLiteral("备注"), 8325, 795, 2010, 25, {});

    auto *numberCaption = new QLabel(QStringLiteral("碟片编号"), m_frame);
    numberCaption->setObjectName(QStringLiteral("Label1_11"));
    numberCaption->adjustSize();
    numberCaption->move(twips(5205), twips(315));
    m_number = new QLabel(QStringLiteral("00000"), m_frame);
    m_number->setObjectName(QStringLiteral("Label1_0"));
    m_number->setMinimumWidth(60);
    m_number->adjustSize();
    m_number->move(twips(6045), twips(315));

    m_tab = new QTabWidget(m_frame);
    m_tab->setObjectName(QStringLiteral("SSTab1"));
    m_tab->setGeometry(twips(30), twips(1245), twips(10560), twips(6000));
    auto *page = new QWidget;
    m_tab->addTab(page, QStringLiteral("碟片简介"));
    // Positions on the tab count from its top edge, tab strip included.
    const int strip = m_tab->tabBar()->sizeHint().height();
    auto *synopsis = new QPlainTextEdit(page);
    synopsis->setObjectName(QStringLiteral("Text1_%1").arg(Synopsis));
    synopsis->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    synopsis->setGeometry(twips(150), qMax(4, twips(690) - strip), twips(5115), twips(5130));
    synopsis->installEventFilter(this);
    // The box admits 800 characters, like the single-line fields' limits.
    ui::LimitLength(synopsis, kSynopsisMax);
    m_fields.insert(Synopsis, synopsis);

    m_picture = new QFrame(page);
    m_picture->setObjectName(QStringLiteral("Picture1"));
    m_picture->setFrameShape(QFrame::Box);
    m_picture->setGeometry(twips(5550), synopsis->y() - 1, twips(4650) + 2, twips(5100) + 2);
    auto *image = new CoverImage(m_picture);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(1, 1, twips(4650), twips(5100));
    image->setToolTip(QStringLiteral("点击加入相片"));
    image->setCursor(Qt::PointingHandCursor);
    image->setProperty("tag", QString());
    image->clicked = [this] { chooseCover(); };
    m_image = image;
    m_label2 = new QLabel(QStringLiteral("封面图片"), page);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->adjustSize();
    m_label2->move(m_picture->x(), qMax(0, m_picture->y() - m_label2->height() - 1));

    m_text2 = new QLineEdit(this);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->hide();

    m_combo = new QComboBox(m_frame);
    m_combo->setObjectName(QStringLiteral("Combo1"));
    m_combo->hide();
    connect(m_combo, &QComboBox::activated, this, &input_Form::comboChosen);

    m_label3 = new QLabel(kRentedNotice, this);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label3->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_label3->setGeometry(twips(2445), twips(7575), twips(5070), twips(375));
    m_label3->hide();

    struct ButtonPlace
    {
        const char *caption;
        int left, top, height;
    };
    const ButtonPlace places[] = {
        {"×重置", 5955, 7500, 375}, {"√提交", 7725, 7500, 375}, {"碟片列表", 360, 7560, 240}, {"§复制", 9630, 7485, 375}};
    for (int i = 0; i < 4; ++i) {
        auto *b = new UserControl1(this);
        b->setObjectName(QStringLiteral("button1_%1").arg(i));
        b->setCaption(QString::fromUtf8(places[i].caption));
        b->setGeometry(twips(places[i].left), twips(places[i].top), twips(990), twips(places[i].height));
        m_buttons << b;
    }
    m_buttons[2]->setToolTip(QStringLiteral("点击查看列表"));
    connect(m_buttons[0], &UserControl1::Click, this, [this] { resetClicked(); });
    connect(m_buttons[1], &UserControl1::Click, this, [this] { submitClicked(); });
    connect(m_buttons[2], &UserControl1::Click, this, [this] { listClicked(); });
    connect(m_buttons[3], &UserControl1::Click, this, [this] { copyClicked(); });

    // Tab order follows the field array's tab indexes.
    const QList<int> &order = fieldIndexes();
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(field(order[i - 1]), field(order[i]));
    m_combo->raise();

    connect(qobject_cast<QLineEdit *>(field(Count)), &QLineEdit::textEdited, this,
            [this] { m_checkPending = false; });
}

// ---------------------------------------------------------------- fields

QString input_Form::fieldText(int index) const
{
    QWidget *w = field(index);
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *p = qobject_cast<QPlainTextEdit *>(w))
        return p->toPlainText();
    return {};
}

void input_Form::setFieldText(int index, const QString &text)
{
    QWidget *w = field(index);
    if (auto *e = qobject_cast<QLineEdit *>(w))
        e->setText(text);
    else if (auto *p = qobject_cast<QPlainTextEdit *>(w))
        p->setPlainText(text);
}

void input_Form::emptyFields()
{
    for (int index : fieldIndexes())
        setFieldText(index, QString());
    m_text2->clear();
}

db::DiscFields input_Form::collectFields() const
{
    db::DiscFields f;
    f.title = fieldText(Title);
    f.shelf = fieldText(Shelf);
    f.count = fieldText(Count);
    f.media = fieldText(Media);
    f.starring = fieldText(Starring);
    f.director = fieldText(Director);
    f.country = fieldText(Country);
    f.category = fieldText(Category);
    f.remark = fieldText(Remark);
    f.synopsis = fieldText(Synopsis);
    f.photoPath = m_text2->text();
    return f;
}

void input_Form::showNextNumber()
{
    auto next = db::NextDiscId();
    if (!next) {
        msg::information(this, next.error());
        return;
    }
    m_number->setText(db::FormatRecordNumber(next.value()));
    m_number->adjustSize();
}

bool input_Form::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const int index = m_fields.key(qobject_cast<QWidget *>(watched), -1);
        if (index >= 0) {
            if (event->type() == QEvent::FocusIn) {
                const bool back = m_returningTo == watched;
                m_returningTo = nullptr;
                if (back)
                    m_combo->hide();
                else
                    enterField(index);
            } else if (index == Count) {
                const auto reason = static_cast<QFocusEvent *>(event)->reason();
                // Only a move to another control counts as leaving; switching windows does not.
                if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && isVisible()) {
                    QTimer::singleShot(0, this, [this] { checkCountField(); });
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void input_Form::enterField(int index)
{
    m_combo->hide();
    const auto it = placements().constFind(index);
    if (it == placements().constEnd())
        return;
    QWidget *f = field(index);
    m_combo->clear();
    m_combo->setProperty("tag", QString::number(index));
    m_combo->addItem(QString());
    m_combo->addItems(db::Lookups().list(it->list).entries());
    m_combo->setGeometry(f->x() + twips(it->offset), f->y() + f->height() + twips(100), twips(it->width),
                         m_combo->sizeHint().height());
    m_combo->show();
    m_combo->raise();
}

void input_Form::comboChosen(int item)
{
    bool ok = false;
    const int index = m_combo->property("tag").toString().toInt(&ok);
    if (ok && m_fields.contains(index)) {
        setFieldText(index, m_combo->itemText(item));
        // Hiding the focused drop-down would pass the focus on to the next control of
        // the window, the reset button, where Enter empties the form. The focus goes back
        // to the field just filled instead, without opening the drop-down again.
        if (m_combo->hasFocus()) {
            m_returningTo = field(index);
            field(index)->setFocus(Qt::OtherFocusReason);
        }
    }
    m_combo->hide();
}

void input_Form::checkCountField()
{
    auto *count = qobject_cast<QLineEdit *>(field(Count));
    const QString text = count->text().trimmed();
    if (text.isEmpty() || allDigits(text) || !count->isEnabled())
        return;
    m_checkPending = true;
    msg::information(this, db::CountDigitsMessage());
    count->setFocus(Qt::OtherFocusReason);
    count->setSelection(0, 20);
}

// ---------------------------------------------------------------- cover photo

QString input_Form::imageTag() const
{
    return m_image->property("tag").toString();
}

void input_Form::setImageTag(const QString &tag)
{
    m_image->setProperty("tag", tag);
}

QString input_Form::showPicture(const QString &path)
{
    if (path.isEmpty()) {
        clearPicture();
        return {};
    }
    const discs::CoverPicture picture = discs::LoadCoverPicture(path, m_image->size());
    if (!picture.ok())
        return picture.problem;
    // Stretched to the picture box, as the shop keeper placed covers of any shape.
    m_image->setPixmap(QPixmap::fromImage(
        picture.image.scaled(m_image->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return {};
}

void input_Form::clearPicture()
{
    m_image->clear();
}

void input_Form::chooseCover()
{
    const QString remembered = m_dialogFileName;
    const QString chosen = askForFile(this, remembered);
    QString tried;
    QString problem;
    if (!chosen.isEmpty()) {
        m_dialogFileName = chosen;
        tried = chosen;
        problem = showPicture(chosen);
        m_text2->setText(chosen);
    } else if (!remembered.isEmpty()) {
        // Cancelled: the file chosen earlier in this window comes back.
        tried = remembered;
        problem = showPicture(remembered);
        m_text2->setText(remembered);
    } else if (isCorrection()) {
        // Cancelled in a correction window: the stored photo comes back and is stored again.
        tried = imageTag();
        problem = showPicture(tried);
        m_text2->setText(tried);
    } else {
        clearPicture();
        m_text2->clear();
    }
    if (!problem.isEmpty()) {
        clearPicture();
        // A file called none.jpg that is not a picture asks for the stored photo's removal;
        // any other such file is refused and the stored photo stays.
        const bool removal = tried.right(8) == QLatin1String("none.jpg");
        m_text2->setText(removal ? QStringLiteral("none") : QString());
        if (!removal)
            msg::information(this, QStringLiteral("不能用这个文件作封面：%1\n（%2）").arg(problem, QDir::toNativeSeparators(tried)));
    }
}

// ---------------------------------------------------------------- buttons

bool input_Form::titleFilled(const QString &message)
{
    if (!fieldText(Title).trimmed().isEmpty())
        return true;
    msg::information(this, message);
    field(Title)->setFocus(Qt::OtherFocusReason);
    return false;
}

bool input_Form::countValid()
{
    auto *count = qobject_cast<QLineEdit *>(field(Count));
    if (db::IsCountText(count->text()))
        return true;
    // Text pasted without leaving the field reaches the save unchecked; refuse it here.
    if (!m_checkPending)
        msg::information(this, db::CountDigitsMessage());
    m_checkPending = false;
    count->setFocus(Qt::OtherFocusReason);
    count->setSelection(0, 20);
    return false;
}

void input_Form::resetClicked()
{
    emptyFields();
    clearPicture();
    if (isCorrection())
        loadDisc(m_discId);
}

void input_Form::submitClicked()
{
    if (!titleFilled(QStringLiteral("碟片名称不能为空！")) || !countValid())
        return;
    if (!isCorrection()) {
        if (!addDisc())
            return;
        emptyFields();
        clearPicture();
        setImageTag(QString());
        return;
    }
    // After a data switch the number names another file's disc: never write over it.
    if (db::DatabasePath() != m_loadedFrom) {
        msg::information(this, QStringLiteral("数据文件已切换，这个窗口里的碟片属于另一个数据文件，无法保存。\n"
                                              "请关闭窗口，在现在的数据中重新打开。"));
        return;
    }
    const db::Status s = db::UpdateDisc(m_discId, collectFields());
    if (!s) {
        msg::information(this, s.error());
        return;
    }
    msg::information(this, QStringLiteral("数据更改完毕！"));
    ui::ReloadFlag::set();
    ui::CloseWindow(this);
}

void input_Form::listClicked()
{
    lists::OpenAllDiscsList();
}

void input_Form::copyClicked()
{
    if (!titleFilled(QStringLiteral("碟片名称必须填写！")) || !countValid())
        return;
    addDisc(); // fields, picture and photo path stay for the next copy
}

// Stores the fields as a new disc and moves the number caption on to the next one.
bool input_Form::addDisc()
{
    auto added = db::AddDisc(collectFields());
    if (!added) {
        msg::information(this, added.error());
        return false;
    }
    msg::information(this, QStringLiteral("数据添加完成！"));
    showNextNumber();
    ui::ReloadFlag::set();
    return true;
}

// ---------------------------------------------------------------- correction mode

bool input_Form::loadDisc(qint64 discId)
{
    auto loaded = db::LoadDisc(discId);
    if (!loaded) {
        msg::information(this, loaded.error());
        return false;
    }
    const db::LoadedDisc &d = loaded.value();
    m_loadedFrom = db::DatabasePath();
    m_number->setText(db::FormatRecordNumber(discId));
    m_number->adjustSize();
    const std::pair<int, const std::optional<QString> *> values[] = {
        {Count, &d.count},     {Country, &d.country},   {Director, &d.director}, {Title, &d.title},
        {Starring, &d.starring}, {Media, &d.media},     {Category, &d.category}, {Synopsis, &d.synopsis},
        {Shelf, &d.shelf},     {Remark, &d.remark}};
    for (const auto &[index, value] : values) {
        if (value->has_value())
            setFieldText(index, **value);
    }
    m_text2->clear();
    if (!d.photoFile.isEmpty()) {
        setImageTag(d.photoFile);
        showPicture(d.photoFile);
    } else {
        clearPicture();
    }
    if (!d.photoProblem.isEmpty())
        msg::information(this, d.photoProblem);
    if (d.rentedOut) {
        for (UserControl1 *b : m_buttons)
            b->hide();
        for (int index : fieldIndexes())
            field(index)->setEnabled(false);
        m_label3->show();
    }
    return true;
}

void input_Form::setUpCorrection(qint64 discId)
{
    setWindowTitle(correctionCaption());
    m_buttons[1]->setCaption(QStringLiteral("√纠正提交"));
    m_buttons[2]->hide();
    m_label2->hide();
    m_buttons[3]->hide();
    m_buttons[1]->move(m_buttons[3]->x(), m_buttons[1]->y());
    m_discId = discId;
    setProperty("tag", QString::number(discId));
}

input_Form *input_Form::openForCorrection(qint64 discId)
{
    auto *w = new input_Form(Purpose::Correction, nullptr);
    w->setUpCorrection(discId);
    if (!w->loadDisc(discId)) {
        delete w;
        return nullptr;
    }
    ui::ShowWindow(w);
    return w;
}

input_Form *input_Form::openShared()
{
    input_Form *w = ui::Shared<input_Form>([] { return new input_Form; });
    ui::BringToFront(w);
    return w;
}
