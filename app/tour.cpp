#include "app/tour.h"

#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>

#include "data/store/programdir.h"
#include "ui/twips.h"

namespace {
QPointer<tour> g_tour;

const QString kPageName = QStringLiteral("tour.htm");
const int kMargin = ui::twips(100);
} // namespace

tour::tour(QWidget *parent) : QWidget(parent, Qt::Window), brwWebBrowser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("tour"));
    setWindowTitle(QStringLiteral("入门指南"));
    setAttribute(Qt::WA_DeleteOnClose);
    brwWebBrowser->setObjectName(QStringLiteral("brwWebBrowser"));
    brwWebBrowser->move(0, 0);
    navigate();
    // The text keeps a little distance from the view's border.
    brwWebBrowser->document()->setDocumentMargin(12);
    layoutBrowser();
}

tour *tour::showWindow()
{
    if (!g_tour) {
        // Its own top-level window: the shop keeper can read it beside the main window.
        g_tour = new tour;
        // Without a window manager maximizing does nothing; start from the whole screen.
        if (QScreen *sc = g_tour->screen())
            g_tour->setGeometry(sc->availableGeometry());
        g_tour->showMaximized();
    } else if (g_tour->isMinimized() || !g_tour->isVisible()) {
        g_tour->showMaximized();
    }
    g_tour->raise();
    g_tour->activateWindow();
    return g_tour;
}

void tour::navigate()
{
    const db::ShippedFile page = db::FindShippedFile(kPageName);
    m_page = page.path;
    if (!m_page.isEmpty()) {
        brwWebBrowser->setSource(QUrl::fromLocalFile(m_page));
        return;
    }
    // Say what is missing and where it was looked for, rather than an empty view.
    QString where;
    for (const QString &dir : page.searched)
        where += QStringLiteral("<li>%1</li>").arg(dir.toHtmlEscaped());
    brwWebBrowser->setHtml(QStringLiteral("<h3>找不到入门指南页面 %1。</h3><p>已在以下位置查找：</p><ul>%2</ul>")
                               .arg(kPageName, where));
}

void tour::layoutBrowser()
{
    // The view keeps its position; a window smaller than the margin gives an empty view.
    brwWebBrowser->resize(qMax(0, width() - kMargin), qMax(0, height() - kMargin));
}

void tour::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutBrowser();
}
