#pragma once

#include <QObject>

// What changed below the windows, announced so that every open view that
// shows it follows without being reopened. The layers call the functions;
// the views connect to the signals.
class Changes : public QObject {
    Q_OBJECT
public:
signals:
    void listsChanged();     // names of lists, or the symbols on them
    void symbolsChanged();   // symbols added, removed or renamed
    void settingsChanged();  // export formats, folders, options
    void filesWritten();     // a run wrote quote files
};

// The one notifier of the process.
Changes& changes();

namespace announce {
void lists();
void symbols();
void settings();
void filesWritten();
}  // namespace announce
