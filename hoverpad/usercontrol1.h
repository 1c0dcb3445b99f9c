#pragma once
// UserControl1: the flat hover button used for every button of Lanlan.
//
// Looks flat at rest, shows a 1-px raised edge while the pointer is over it,
// a 1-px sunken edge while pressed, and a dotted focus rectangle when it has
// the focus. The caption is the child label "lblCaption"; a single "&" marks
// the access key (Alt + key), "&&" shows one ampersand.
//
// Property setters:
//   Caption            setCaption(QString)
//   BackColor          setBackColor(QColor)      (invalid colour = palette Button)
//   HoverColor         setHoverColor(QColor)     (invalid colour = palette Highlight)
//   Font               setCaptionFont(QFont)     (same as QWidget::setFont; the
//                                                 default is the container's font)
//   Enabled            setEnabledProperty(bool)  (same as QWidget::setEnabled at run time)
//   AlwaysHighlighted  setAlwaysHighlighted(bool) -> bool   design time only
//   FocusRect          setFocusRect(bool)         -> bool   design time only
//
// Design-time-only properties: a write is accepted in design mode (turned on
// by the Designer plugin through setDesignMode(true)) and while the button is
// being set up, i.e. before it is first shown (this is how a .ui form or a
// window's constructor loads it). Once the button has been shown in a running
// program, a write is refused: the setter returns false, the value stays,
// lastError() returns ErrPropertyReadOnly (383) and a warning is logged.
//
// Assistive technology sees a push button named by the caption (without the
// access-key marks), described by the tool tip, with a press action that clicks
// it like the keyboard does. Linking the library is enough to get this.
#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include "hoverpad/hoverpad_export.h"

class QLabel;
class QTimer;
class UserControl1Accessible;

class HOVERPAD_EXPORT UserControl1 : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool AlwaysHighlighted READ AlwaysHighlighted WRITE setAlwaysHighlighted NOTIFY AlwaysHighlightedChanged)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE setBackColor RESET resetBackColor NOTIFY BackColorChanged)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption NOTIFY CaptionChanged)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabledProperty NOTIFY EnabledChanged)
    Q_PROPERTY(bool FocusRect READ FocusRect WRITE setFocusRect NOTIFY FocusRectChanged)
    Q_PROPERTY(QFont Font READ Font WRITE setCaptionFont NOTIFY FontChanged)
    Q_PROPERTY(QColor HoverColor READ HoverColor WRITE setHoverColor RESET resetHoverColor NOTIFY HoverColorChanged)

public:
    enum pslClickReason { pslReasonMouse = 0, pslReasonAccessKey = 1, pslReasonKeyboard = 2 };
    Q_ENUM(pslClickReason)

    // Error number of a run-time write to a design-time-only property.
    static constexpr int ErrPropertyReadOnly = 383;

    explicit UserControl1(QWidget *parent = nullptr);
    ~UserControl1() override;

    bool AlwaysHighlighted() const { return m_alwaysHighlighted; }
    bool setAlwaysHighlighted(bool on);

    QColor BackColor() const;
    void setBackColor(const QColor &color);
    void resetBackColor();

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);

    bool Enabled() const;
    void setEnabledProperty(bool on);

    bool FocusRect() const { return m_focusRect; }
    bool setFocusRect(bool on);

    QFont Font() const { return font(); }
    void setCaptionFont(const QFont &font);

    QColor HoverColor() const;
    void setHoverColor(const QColor &color);
    void resetHoverColor();

    // The access key computed from Caption, empty when there is none.
    QString AccessKeys() const { return m_accessKey; }

    // Number of the last refused write (ErrPropertyReadOnly), 0 after a write that succeeded.
    int lastError() const { return m_lastError; }

    // Design mode: every property is writable and the edge is always drawn raised.
    static void setDesignMode(bool on);
    static bool designMode();

    QSize sizeHint() const override;

signals:
    void Click(int ClickReason);

    void AlwaysHighlightedChanged(bool on);
    void BackColorChanged(const QColor &color);
    void CaptionChanged(const QString &caption);
    void EnabledChanged(bool on);
    void FocusRectChanged(bool on);
    void FontChanged(const QFont &font);
    void HoverColorChanged(const QColor &color);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class UserControl1Accessible;

    // The press action of assistive technology: one keyboard click, unless disabled.
    void pressFromAssistant();
    bool designTimeWrite(const char *name);
    bool pointerOverMe() const;
    void setHovering(bool on);
    void press();
    void release(bool pointerInside);
    void applyCaption();
    void layoutCaption();
    void updateCaptionColor();
    void checkPointer();

    QLabel *lblCaption;
    QTimer *tmrHighlight;

    QString m_caption;
    QString m_accessKey;
    QColor m_backColor;   // invalid: follow the palette
    QColor m_hoverColor;  // invalid: follow the palette
    bool m_alwaysHighlighted = false;
    bool m_focusRect = true;
    bool m_designEnabled = true;
    bool m_enabledSeen = true;
    bool m_notified = false;
    bool m_shown = false;
    bool m_hovering = false;
    bool m_captionHot = false;
    bool m_mousePressed = false;
    bool m_keyPressed = false;
    int m_shortcutId = 0;
    int m_lastError = 0;
};
