#include "Prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace sondrel {

namespace {
int box(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
        QMessageBox::StandardButtons buttons)
{
    QMessageBox mb(icon, caption, text, buttons, parent);
    mb.setDefaultButton(buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    return mb.exec();
}
} // namespace

void QtPrompts::information(QWidget* parent, const QString& text)
{
    box(parent, QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok);
}

void QtPrompts::notice(QWidget* parent, const QString& text)
{
    box(parent, QMessageBox::NoIcon, QStringLiteral("Information"), text, QMessageBox::Ok);
}

bool QtPrompts::confirm(QWidget* parent, const QString& text)
{
    return box(parent, QMessageBox::Question, QStringLiteral("Confirm"), text,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtPrompts::askYesNo(QWidget* parent, const QString& text)
{
    return box(parent, QMessageBox::Information, QStringLiteral("Information"), text,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtPrompts::confirmCautious(QWidget* parent, const QString& text)
{
    QMessageBox mb(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No, parent);
    mb.setDefaultButton(QMessageBox::No);
    mb.setEscapeButton(QMessageBox::No);
    return mb.exec() == QMessageBox::Yes;
}

Prompts::Overwrite QtPrompts::askOverwrite(QWidget* parent, const QString& text)
{
    QMessageBox mb(QMessageBox::Information, QStringLiteral("Information"), text,
                   QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll | QMessageBox::NoToAll, parent);
    // Replacing a file cannot be undone: a stray Enter keeps it.
    mb.setDefaultButton(QMessageBox::No);
    mb.setEscapeButton(QMessageBox::No);
    switch (mb.exec()) {
    case QMessageBox::Yes: return Overwrite::Yes;
    case QMessageBox::YesToAll: return Overwrite::YesToAll;
    case QMessageBox::NoToAll: return Overwrite::NoToAll;
    default: return Overwrite::No;
    }
}

Prompts::FileChoice QtPrompts::chooseFiles(QWidget* parent, const QString& startFolder,
                                           const QStringList& filters)
{
    QFileDialog dlg(parent);
    dlg.setFileMode(QFileDialog::ExistingFiles);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::ReadOnly, false);
    dlg.setDirectory(startFolder);
    dlg.setNameFilters(filters);
    if (!filters.isEmpty())
        dlg.selectNameFilter(filters.first());
    FileChoice choice;
    if (dlg.exec() != QDialog::Accepted)
        return choice;
    choice.files = dlg.selectedFiles();
    choice.folder = dlg.directory().absolutePath();
    return choice;
}

void QtPrompts::runModal(QDialog& dialog)
{
    dialog.exec();
}

} // namespace sondrel
