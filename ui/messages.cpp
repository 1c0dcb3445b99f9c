#include "ui/messages.h"

#include <QMessageBox>
#include <QStringList>
#include <QThread>

#include <memory>

namespace msg {
namespace {
Recorder *g_recorder = nullptr;
}

QString applicationTitle()
{
    return QStringLiteral("Lanlan");
}

void information(QWidget *parent, const QString &text)
{
    if (g_recorder) {
        g_recorder->m_boxes.append({Recorder::Box::Information, text, applicationTitle()});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void notice(QWidget *parent, const QString &text, const std::function<void()> &work)
{
    if (g_recorder) {
        g_recorder->m_boxes.append({Recorder::Box::Information, text, applicationTitle()});
        work();
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    std::unique_ptr<QThread> thread(QThread::create(work));
    // Queued to the box's thread: a finish before exec() still closes it.
    QObject::connect(thread.get(), &QThread::finished, &box, &QDialog::accept, Qt::QueuedConnection);
    thread->start();
    box.exec();
    thread->wait();
}

bool confirm(QWidget *parent, const QString &text, const QString &title)
{
    if (g_recorder) {
        g_recorder->m_boxes.append({Recorder::Box::Confirm, text, title});
        return g_recorder->m_answers.isEmpty() ? true : g_recorder->m_answers.takeFirst();
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

Recorder::Recorder() : m_previous(g_recorder)
{
    g_recorder = this;
}

Recorder::~Recorder()
{
    g_recorder = m_previous;
}

QStringList Recorder::texts() const
{
    QStringList out;
    for (const Box &b : m_boxes)
        out << b.text;
    return out;
}

} // namespace msg
