#pragma once
// One window program per data folder. The first start holds a lock file in the user's runtime
// folder and listens on a local socket; a later start on the same folder finds the lock taken,
// asks the first to bring its window forward and ends. Both are keyed on the data folder, so
// programs on different folders (and tests side by side) never see each other.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace veldrin {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome { First, AlreadyRunning, Failed };

    // `runtimeFolder` empty: the user's runtime folder (XDG_RUNTIME_DIR), else the temporary
    // folder.
    explicit SingleInstance(const QString& dataFolder, const QString& runtimeFolder = QString());
    ~SingleInstance() override;

    // First: this process holds the folder and listens for raise requests. AlreadyRunning: another
    // process holds it and has been asked to raise its window (as far as it could be reached).
    // Failed: the lock file cannot be made (errorText() says why).
    Outcome claim();
    QString errorText() const { return error_; }

    const QString& lockPath() const { return lockPath_; }
    const QString& serverPath() const { return serverPath_; }

    // The name part shared by the lock file and the socket for a data folder.
    static QString keyFor(const QString& dataFolder);

Q_SIGNALS:
    // A later start asked this one to restore and raise its window.
    void raiseRequested();

private:
    bool listen();
    bool askFirstToRaise();
    void readRequests();

    QString lockPath_;
    QString serverPath_;
    QString error_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

} // namespace veldrin
