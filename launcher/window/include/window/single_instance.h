// One launcher window per user. A plain start first asks the launcher that
// may already run for this user to bring its window to the front; when one
// answers, the new start has nothing more to do. Otherwise this process
// becomes the one that answers later starts. The meeting point is a local
// socket in the user's runtime folder, so that each user has their own and
// no other user can take it; a socket left by a launcher that crashed is
// replaced. The command line never comes here: each command runs in its own
// process.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QWidget;

class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        First,        // no launcher answered: this process now answers later starts
        HandedOver,   // the running launcher has brought its window to the front
        NoAnswer,     // a launcher holds the socket but did not answer in time
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Asks the running launcher, if any, to show its window; else listens.
    Claim claim();

    // The window that later starts bring to the front.
    void setWindow(QWidget* window);

    // The socket's path: "orvello-launcher.socket" in the user's runtime
    // folder (XDG_RUNTIME_DIR, which only the user can enter).
    static QString socketPath();

private:
    bool askToRaise(QLocalSocket& socket);
    bool listen();
    void answer();

    QLocalServer* server = nullptr;
    QPointer<QWidget> window;
};

// Brings a window to the front: un-minimised, shown, raised and activated.
void bringToFront(QWidget* window);
