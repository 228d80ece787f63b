#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <deque>

// The one way the program talks to the user. The core never opens a message
// box itself: it hands a Message to the installed Messages object. The GUI
// shows a message box; tests and the headless mode answer from a script and
// record what was shown.

enum class Icon { None, Information, Warning, Critical, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, AbortRetryIgnore };
enum class Answer { Ok, Cancel, Yes, No, Abort, Retry, Ignore };

struct Message {
    QString text;
    QString title;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    Answer defaultAnswer = Answer::Ok;  // what an unattended run answers
    QString yesText, noText;            // captions of Yes and No, when not "Yes" and "No"
};

class Messages {
public:
    virtual ~Messages() = default;
    virtual Answer show(const Message& message) = 0;
    // The busy (hourglass) pointer around long steps; nested calls count.
    virtual void setBusy(bool busy) { (void)busy; }
};

// The installed interface; a recording one that answers defaults until a
// window or a test installs another.
Messages& messages();
// Installs `m` (not owned); nullptr restores the default one.
void setMessages(Messages* m);

// Shortcuts for the common cases.
void msgBox(const QString& text, Icon icon = Icon::None, const QString& title = {});
bool askYesNo(const QString& text, const QString& title = {}, bool defaultYes = true, Icon icon = Icon::Question);

// Keeps the busy pointer for the life of the object.
class BusyPointer {
public:
    BusyPointer() { messages().setBusy(true); }
    ~BusyPointer() { messages().setBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

// Answers from a queue (the default answer when it is empty) and records every
// message it was given. Used by tests and by the headless mode.
class ScriptedMessages : public Messages {
public:
    Answer show(const Message& message) override;
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }

    void queue(Answer answer) { answers.push_back(answer); }
    QStringList texts() const;

    QVector<Message> shown;
    std::deque<Answer> answers;
    int busyDepth = 0;
    bool echo = false;  // also print each message to stderr (headless mode)
};
