#pragma once
// SIGTERM and SIGINT (a session logout, a service manager, Ctrl+C in a terminal) close the window
// the ordinary way, so that the worker is stopped and joined and the status is 0. The handler only
// writes a byte into a pipe; the window thread reads it in its event loop.

#include <QObject>

class QSocketNotifier;

namespace veldrin {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for SIGTERM and SIGINT; one object per process.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override; // restores the default handling

    bool installed() const { return installed_; }

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

} // namespace veldrin
