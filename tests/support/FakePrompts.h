#pragma once
#include "Launcher.h"
#include "Prompts.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

// Prompts that record every message and answer from a script, so tests drive the program
// as a user would without a real message box or dialog.
class FakePrompts : public sondrel::Prompts {
public:
    enum class Kind { Information, Notice, Confirm, AskYesNo, ConfirmCautious, AskOverwrite };
    struct Message {
        Kind kind;
        QString caption;
        QString text;
    };
    QList<Message> messages;
    QStringList texts() const;

    // Answers for confirm(), askYesNo() and confirmCautious(), in order; when empty,
    // defaultAnswer.
    std::deque<bool> answers;
    bool defaultAnswer = true;
    // Answers for askOverwrite(), in order; when empty, the next of `answers` as Yes or No.
    std::deque<Overwrite> overwriteAnswers;
    // Called when a message is shown (after recording it): tests act "while the box is up".
    std::function<void(const Message&)> onMessage;

    // Results of chooseFiles(), in order; when empty, the dialog is cancelled.
    std::deque<FileChoice> fileChoices;
    QString lastStartFolder;
    QStringList lastFilters;

    // What the user does in each modal dialog, in order. The dialog is shown (so its show
    // handler runs) before the action; when the action leaves it open it is rejected, as if
    // closed with its close box. Without an action the dialog is closed at once.
    std::deque<std::function<void(QDialog&)>> dialogActions;
    int dialogsShown = 0;

    void information(QWidget*, const QString& text) override;
    void notice(QWidget*, const QString& text) override;
    bool confirm(QWidget*, const QString& text) override;
    bool askYesNo(QWidget*, const QString& text) override;
    bool confirmCautious(QWidget*, const QString& text) override;
    Overwrite askOverwrite(QWidget*, const QString& text) override;
    // The boxes opened without a loop of their own are answered with the same scripts, a turn
    // of the event loop later; with holdBoxes set, they stay up until answerHeld().
    std::unique_ptr<Pending> askOverwriteLater(QWidget*, const QString& text,
                                               std::function<void(Overwrite)> answered) override;
    std::unique_ptr<Pending> noticeLater(QWidget*, const QString& text, std::function<void()> closed) override;
    bool holdBoxes = false;
    // Whether a held box is up (not answered, not closed by the program).
    bool boxHeld() const;
    // Answers the held box as the scripts say (true), or says none is up (false).
    bool answerHeld();
    FileChoice chooseFiles(QWidget*, const QString& startFolder, const QStringList& filters) override;
    void runModal(QDialog& dialog) override;

private:
    bool answer();
    Overwrite overwriteAnswer();
    std::unique_ptr<Pending> later(std::function<void()> reply);
    std::shared_ptr<std::function<void()>> m_held; // the held box's reply; empty once closed
};

// A launcher that records what it was asked to start.
class FakeLauncher : public sondrel::Launcher {
public:
    QList<QUrl> urls;
    bool opens = true; // what openUrl answers: whether a program could be started
    QList<QStringList> processes; // program first, then its arguments
    QStringList shownWindows;     // titles of other programs' windows on the screen
    QStringList raised;           // titles asked to be raised
    bool openUrl(const QUrl& url) override
    {
        urls << url;
        return opens;
    }
    void startDetached(const QString& program, const QStringList& arguments) override
    {
        processes << (QStringList{program} + arguments);
    }
    bool raiseWindow(const QString& title) override
    {
        for (const QString& shown : shownWindows)
            if (shown.contains(title)) {
                raised << title;
                return true;
            }
        return false;
    }
};
