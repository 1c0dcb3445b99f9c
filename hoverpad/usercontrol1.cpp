#include "hoverpad/usercontrol1.h"

#include "hoverpad/caption.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <QTimer>
#include <qdrawutil.h>

namespace {

bool s_designMode = false;

// While hovering, the pointer is re-checked at this pace so a leave the
// window system never reported still flattens the button. At rest nothing runs.
constexpr int kHoverPollMs = 250;

constexpr QSize kDefaultSize(81, 25); // 1215 x 375 twips

// Label text: "&&" shows one ampersand, the key letter is underlined, other
// single ampersands vanish. Spaces are kept as typed ("出    租").
QString captionHtml(const QString &caption, int marker)
{
    QString html;
    auto put = [&html](QChar c) {
        if (c == QLatin1Char(' '))
            html += QStringLiteral("&nbsp;");
        else if (c == QLatin1Char('\n'))
            html += QStringLiteral("<br>");
        else if (c != QLatin1Char('\r'))
            html += QString(c).toHtmlEscaped();
    };
    for (int i = 0; i < caption.size(); ++i) {
        const QChar c = caption.at(i);
        if (c != QLatin1Char('&')) {
            put(c);
            continue;
        }
        if (i + 1 >= caption.size())
            break;
        if (i == marker) {
            html += QStringLiteral("<u>");
            put(caption.at(i + 1));
            html += QStringLiteral("</u>");
        } else {
            put(caption.at(i + 1));
        }
        ++i;
    }
    return html;
}

} // namespace

UserControl1::UserControl1(QWidget *parent)
    : QWidget(parent), lblCaption(new QLabel(this)), tmrHighlight(new QTimer(this))
{
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblCaption->setTextFormat(Qt::RichText);
    lblCaption->setAlignment(Qt::AlignCenter);
    lblCaption->setTextInteractionFlags(Qt::NoTextInteraction);
    // The caption is part of the button: pointer and clicks pass through to it.
    lblCaption->setAttribute(Qt::WA_TransparentForMouseEvents);

    tmrHighlight->setObjectName(QStringLiteral("tmrHighlight"));
    tmrHighlight->setInterval(kHoverPollMs);
    connect(tmrHighlight, &QTimer::timeout, this, &UserControl1::checkPointer);

    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kDefaultSize);
    m_caption = QStringLiteral("Pressel");
    applyCaption();
    updateCaptionColor();
}

UserControl1::~UserControl1() = default;

void UserControl1::setDesignMode(bool on) { s_designMode = on; }
bool UserControl1::designMode() { return s_designMode; }

QSize UserControl1::sizeHint() const { return kDefaultSize; }

bool UserControl1::designTimeWrite(const char *name)
{
    if (s_designMode || !m_shown) {
        m_lastError = 0;
        return true;
    }
    m_lastError = ErrPropertyReadOnly;
    qWarning("UserControl1 \"%s\": error %d, property %s is read-only at run time",
             qPrintable(objectName()), ErrPropertyReadOnly, name);
    return false;
}

bool UserControl1::setAlwaysHighlighted(bool on)
{
    if (!designTimeWrite("AlwaysHighlighted"))
        return false;
    m_alwaysHighlighted = on;
    if (on)
        tmrHighlight->stop();
    update();
    emit AlwaysHighlightedChanged(on);
    return true;
}

bool UserControl1::setFocusRect(bool on)
{
    if (!designTimeWrite("FocusRect"))
        return false;
    m_focusRect = on;
    if (hasFocus())
        update();
    emit FocusRectChanged(on);
    return true;
}

QColor UserControl1::BackColor() const
{
    return m_backColor.isValid() ? m_backColor : palette().color(QPalette::Button);
}

void UserControl1::setBackColor(const QColor &color)
{
    m_backColor = color;
    update();
    emit BackColorChanged(BackColor());
}

void UserControl1::resetBackColor() { setBackColor(QColor()); }

QColor UserControl1::HoverColor() const
{
    return m_hoverColor.isValid() ? m_hoverColor : palette().color(QPalette::Highlight);
}

void UserControl1::setHoverColor(const QColor &color)
{
    m_hoverColor = color;
    updateCaptionColor();
    emit HoverColorChanged(HoverColor());
}

void UserControl1::resetHoverColor() { setHoverColor(QColor()); }

void UserControl1::setCaption(const QString &caption)
{
    const bool changed = caption != m_caption;
    m_caption = caption;
    applyCaption();
    // The caption is the accessible name unless one was set explicitly.
    if (changed && accessibleName().isEmpty()) {
        QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&nameChanged);
    }
    emit CaptionChanged(caption);
}

bool UserControl1::Enabled() const
{
    if (s_designMode)
        return m_designEnabled;
    return !testAttribute(Qt::WA_ForceDisabled);
}

void UserControl1::setEnabledProperty(bool on)
{
    // In the designer the button stays usable on the form; the value is only stored.
    m_designEnabled = on;
    m_notified = false;
    if (!s_designMode)
        setEnabled(on);
    if (!m_notified) // no EnabledChange came: the value was already in place
        emit EnabledChanged(on);
}

void UserControl1::setCaptionFont(const QFont &font)
{
    m_notified = false;
    setFont(font); // relayout and notification in changeEvent
    if (!m_notified)
        emit FontChanged(this->font());
}

void UserControl1::pressFromAssistant()
{
    if (!isEnabled())
        return;
    // Clicked from the event loop, not inside the request: the tool gets its answer at
    // once even when the click opens a modal box or ends the program.
    QTimer::singleShot(0, this, [this] {
        if (isEnabled())
            emit Click(pslReasonKeyboard);
    });
}

void UserControl1::applyCaption()
{
    const int marker = hoverpad::accessKeyMarker(m_caption);
    m_accessKey = marker < 0 ? QString() : QString(m_caption.at(marker + 1));
    lblCaption->setText(captionHtml(m_caption, marker));
    layoutCaption();

    if (m_shortcutId) {
        releaseShortcut(m_shortcutId);
        m_shortcutId = 0;
    }
    if (!m_accessKey.isEmpty() && !s_designMode) {
        const QChar key = m_accessKey.at(0).toUpper();
        m_shortcutId = grabShortcut(QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(key.unicode()))));
    }
}

void UserControl1::layoutCaption()
{
    lblCaption->adjustSize();
    const int h = lblCaption->height();
    const int shift = (m_mousePressed || m_keyPressed) ? 1 : 0;
    lblCaption->setGeometry(1 + shift, height() / 2 - h / 2 + shift, width() - 2, h);
}

void UserControl1::updateCaptionColor()
{
    QColor c;
    if (!isEnabled())
        c = palette().color(QPalette::Disabled, QPalette::ButtonText);
    else if (m_captionHot)
        c = HoverColor();
    else
        c = palette().color(QPalette::Active, QPalette::ButtonText);

    QPalette pal = lblCaption->palette();
    if (pal.color(QPalette::Disabled, QPalette::WindowText) == c
        && pal.color(QPalette::Active, QPalette::WindowText) == c)
        return;
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::Text, c);
    lblCaption->setPalette(pal);
}

bool UserControl1::pointerOverMe() const
{
    QWidget *w = QApplication::widgetAt(QCursor::pos());
    return w && (w == this || isAncestorOf(w));
}

void UserControl1::setHovering(bool on)
{
    if (on && (!isEnabled() || m_alwaysHighlighted))
        on = false;
    if (on)
        tmrHighlight->start();
    else
        tmrHighlight->stop();
    if (on == m_hovering && on == m_captionHot)
        return;
    m_hovering = on;
    m_captionHot = on;
    updateCaptionColor();
    update();
}

void UserControl1::checkPointer()
{
    if (m_mousePressed || m_keyPressed)
        return;
    if (!pointerOverMe())
        setHovering(false);
}

void UserControl1::press()
{
    tmrHighlight->stop();
    layoutCaption();
    update();
}

void UserControl1::release(bool pointerInside)
{
    layoutCaption();
    // Back at rest the caption takes the button text colour even when the
    // pointer is still over the button; it turns hot again on the next entry.
    m_captionHot = false;
    m_hovering = pointerInside && isEnabled() && !m_alwaysHighlighted;
    updateCaptionColor();
    if (m_hovering)
        tmrHighlight->start();
    update();
}

bool UserControl1::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::Show:
        m_shown = true;
        break;
    case QEvent::Hide:
        m_mousePressed = m_keyPressed = false;
        m_hovering = m_captionHot = false;
        tmrHighlight->stop();
        layoutCaption();
        updateCaptionColor();
        break;
    case QEvent::WindowDeactivate:
        // A box that opens while the button is held (a field check on leaving a field)
        // takes the release with it; the press is abandoned without a click.
        if (m_mousePressed) {
            m_mousePressed = false;
            release(false);
        }
        break;
    case QEvent::Shortcut: {
        auto *se = static_cast<QShortcutEvent *>(e);
        if (se->shortcutId() != m_shortcutId)
            break;
        // Two buttons with the same key: move the focus between them, like Qt's buttons.
        if (se->isAmbiguous())
            setFocus(Qt::ShortcutFocusReason);
        else if (isEnabled())
            emit Click(pslReasonAccessKey);
        return true;
    }
    default:
        break;
    }
    return QWidget::event(e);
}

void UserControl1::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), BackColor());

    const bool sunken = m_mousePressed || m_keyPressed;
    if (sunken || s_designMode || m_alwaysHighlighted || m_hovering) {
        QPalette pal = palette();
        pal.setColor(QPalette::Button, BackColor());
        qDrawShadePanel(&p, rect(), pal, sunken, 1, nullptr);
    }

    if (m_focusRect && hasFocus() && width() > 7 && height() > 7) {
        QPen pen(palette().color(QPalette::ButtonText), 0);
        pen.setDashPattern({1.0, 1.0});
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(3, 3, width() - 7, height() - 7));
    }
}

void UserControl1::resizeEvent(QResizeEvent *)
{
    layoutCaption();
}

void UserControl1::changeEvent(QEvent *e)
{
    switch (e->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled()) {
            m_mousePressed = m_keyPressed = false;
            m_hovering = m_captionHot = false;
            tmrHighlight->stop();
            layoutCaption();
        }
        updateCaptionColor();
        update();
        if (!s_designMode && Enabled() != m_enabledSeen) {
            m_enabledSeen = Enabled();
            m_notified = true;
            emit EnabledChanged(m_enabledSeen);
        }
        break;
    case QEvent::FontChange:
        layoutCaption();
        m_notified = true;
        emit FontChanged(font());
        break;
    case QEvent::PaletteChange: // the default colours follow the palette
        updateCaptionColor();
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(e);
}

void UserControl1::enterEvent(QEnterEvent *e)
{
    if (!m_mousePressed && !m_keyPressed)
        setHovering(true);
    QWidget::enterEvent(e);
}

void UserControl1::leaveEvent(QEvent *e)
{
    if (!m_mousePressed && !m_keyPressed)
        setHovering(false);
    QWidget::leaveEvent(e);
}

void UserControl1::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    m_mousePressed = true;
    press();
}

void UserControl1::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || !m_mousePressed) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    m_mousePressed = false;
    const bool inside = rect().contains(e->position().toPoint());
    release(inside);
    if (inside && isEnabled())
        emit Click(pslReasonMouse);
}

static bool isActivationKey(const QKeyEvent *e)
{
    return e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

void UserControl1::keyPressEvent(QKeyEvent *e)
{
    if (!isActivationKey(e)) {
        QWidget::keyPressEvent(e);
        return;
    }
    // A held key clicks once; repeating a submit by holding Enter is never wanted.
    if (e->isAutoRepeat() || m_mousePressed)
        return;
    m_keyPressed = true;
    press();
    emit Click(pslReasonKeyboard);
}

void UserControl1::keyReleaseEvent(QKeyEvent *e)
{
    if (!isActivationKey(e)) {
        QWidget::keyReleaseEvent(e);
        return;
    }
    if (e->isAutoRepeat() || !m_keyPressed)
        return;
    m_keyPressed = false;
    release(pointerOverMe());
}

void UserControl1::focusInEvent(QFocusEvent *e)
{
    if (m_focusRect)
        update();
    QWidget::focusInEvent(e);
}

void UserControl1::focusOutEvent(QFocusEvent *e)
{
    // A message box opened from Click takes the key release with it.
    if (m_keyPressed) {
        m_keyPressed = false;
        release(pointerOverMe());
    }
    if (m_focusRect)
        update();
    QWidget::focusOutEvent(e);
}
