#pragma once
#include <QWidget>

class QTextBrowser;

// The quick guide (入门指南): the page tour.htm shipped with the program, in a view that
// fills the window but for a small margin on the right and at the bottom.
class tour : public QWidget
{
    Q_OBJECT
public:
    explicit tour(QWidget *parent = nullptr);

    // The one guide window: opened maximized, or the open one brought to the front.
    static tour *showWindow();

    // The page shown, or empty when none was found.
    QString pagePath() const { return m_page; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void navigate();
    void layoutBrowser();

    QTextBrowser *brwWebBrowser;
    QString m_page;
};
