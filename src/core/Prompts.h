#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace sondrel {

// Every message box, the open-file dialog and every modal dialog reach the program through
// this interface, so tests can read what the program says and answer for the user.
class Prompts {
public:
    virtual ~Prompts() = default;

    // Caption "Information", information icon, one OK button.
    virtual void information(QWidget* parent, const QString& text) = 0;
    // Caption "Information", no icon, one OK button: the per-file notices of adding.
    virtual void notice(QWidget* parent, const QString& text) = 0;
    // Question icon, Yes and No; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
    // Caption "Information", information icon, Yes and No; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    // Caption "Confirm", question icon, Yes and No with No the default (Enter and Esc answer
    // No): before something that cannot be undone. True for Yes.
    virtual bool confirmCautious(QWidget* parent, const QString& text) = 0;

    // The question before an existing file is replaced: caption "Information", information
    // icon, Yes, No (the default), Yes to All and No to All.
    enum class Overwrite { Yes, No, YesToAll, NoToAll };
    virtual Overwrite askOverwrite(QWidget* parent, const QString& text) = 0;

    // A message shown while work goes on: the box opens and this returns at once; what the
    // user answers reaches the callback later, on this thread, never from inside the call
    // that opened it. Destroying the handle closes a box not yet answered, and its callback
    // is then never called.
    class Pending {
    public:
        virtual ~Pending() = default;
    };
    // askOverwrite's question, answered later.
    virtual std::unique_ptr<Pending> askOverwriteLater(QWidget* parent, const QString& text,
                                                       std::function<void(Overwrite)> answered) = 0;
    // notice's box; closed is called once the user has closed it.
    virtual std::unique_ptr<Pending> noticeLater(QWidget* parent, const QString& text,
                                                 std::function<void()> closed) = 0;

    struct FileChoice {
        QStringList files;  // in the dialog's order; empty when cancelled
        QString folder;     // the folder the choice was made in
    };
    // The open dialog: several files, filters in order (the first selected), no read-only box.
    virtual FileChoice chooseFiles(QWidget* parent, const QString& startFolder,
                                   const QStringList& filters) = 0;

    // Shows a dialog of the program modally and returns when it has closed.
    virtual void runModal(QDialog& dialog) = 0;
};

// The real prompts: Qt's message boxes and file dialog.
class QtPrompts : public Prompts {
public:
    void information(QWidget* parent, const QString& text) override;
    void notice(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    bool confirmCautious(QWidget* parent, const QString& text) override;
    Overwrite askOverwrite(QWidget* parent, const QString& text) override;
    std::unique_ptr<Pending> askOverwriteLater(QWidget* parent, const QString& text,
                                               std::function<void(Overwrite)> answered) override;
    std::unique_ptr<Pending> noticeLater(QWidget* parent, const QString& text, std::function<void()> closed) override;
    FileChoice chooseFiles(QWidget* parent, const QString& startFolder,
                           const QStringList& filters) override;
    void runModal(QDialog& dialog) override;
};

} // namespace sondrel
