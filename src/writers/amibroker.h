#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class QProcess;

// The AmiBroker import. AmiBroker is driven through a command the user sets
// (store key AmiBrokerImport): at the end of a run it is started with the
// staging file ami2.txt and the import definition, and its exit status says
// whether the import worked.
namespace amibroker {

inline const QString kStoreKey = QStringLiteral("AmiBrokerImport");
inline const QString kDefinition = QStringLiteral("aqd.format");
// How long the import command may run before it is ended as failed
// (store key AmiBrokerImportTimeout, in seconds; 0: no limit).
inline const QString kTimeoutKey = QStringLiteral("AmiBrokerImportTimeout");
constexpr int kDefaultTimeoutSeconds = 600;
int importTimeoutSeconds();

QString importCommand();
void setImportCommand(const QString& command);

// The program and arguments for `command`: split like a shell would split
// words (quotes group, nothing is expanded), then "%f" replaced by `file`,
// "%d" by the import definition and "%%" by "%" inside each word, so a
// path with blanks or quotes stays one argument. A command without "%f"
// gets the file and the definition appended. Empty for an empty command.
QStringList commandLine(const QString& command, const QString& file);

// The presence test: the command is set and its program can be found (a
// path must be an executable file, a bare name must be on PATH). `why`
// gets the reason when false.
bool presenceTest(const QString& command, QString* why = nullptr);

struct ImportResult {
    bool started = false;  // false: nothing to import (empty file)
    bool ok = false;
    bool timedOut = false;  // the command ran past its time and was ended
    int quotes = 0;         // quote lines the file held
    QString line;           // the report line, ending with CR LF; empty when not started
};

// The import of ami2.txt in the data folder: nothing when the file is
// empty; otherwise the command runs. start() returns at once and `done`
// comes from the event loop when the import is over. stop() (Stop of the
// run) or a command that runs past importTimeoutSeconds() ends the command,
// and the import counts as a failure.
class Importer : public QObject {
    Q_OBJECT
public:
    explicit Importer(QObject* parent = nullptr);
    ~Importer() override;

    void start();
    void stop();
    bool running() const { return running_; }
    const ImportResult& result() const { return result_; }

signals:
    void done();

private:
    void endCommand();
    void conclude();

    ImportResult result_;
    std::unique_ptr<QProcess> process_;
    QTimer limit_;
    bool running_ = false;
};

}  // namespace amibroker
