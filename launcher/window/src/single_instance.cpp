// SingleInstance: the request to show the window, over a local socket.
//
// The exchange is one line each way: a new start sends "raise", the running
// launcher brings its window to the front and answers "raised". The new start
// ends with success only on that answer, so that a launcher that holds the
// socket but no longer answers (stopped in a debugger, say) is reported
// instead of silently swallowing the start.
#include "window/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>

#include <unistd.h>

namespace {

const QByteArray kRaiseRequest = "raise\n";
const QByteArray kRaisedAnswer = "raised\n";

// A running launcher answers at once; these bound a launcher that is busy
// on its GUI thread, or a crashed one whose socket file remains.
constexpr int kConnectTimeoutMs = 2000;
constexpr int kAnswerTimeoutMs = 5000;
constexpr int kClaimLockTimeoutMs = 10000;

QString runtimeFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    // No runtime folder at all: the temporary folder, with the user's id in
    // the names so that users do not meet.
    return QDir::tempPath();
}

QString userPart()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).isEmpty()
        ? QStringLiteral("-%1").arg(::getuid())
        : QString();
}

// Two starts at the same moment would both find no launcher and both
// listen, the second removing the first's socket: the look and the listen
// are one step under this lock. A lock left by a crash is taken over.
QString claimLockPath()
{
    return QDir(runtimeFolder()).filePath(QStringLiteral("orvello-launcher%1.lock").arg(userPart()));
}

} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default; // the server closes and removes its socket

QString SingleInstance::socketPath()
{
    return QDir(runtimeFolder()).filePath(QStringLiteral("orvello-launcher%1.socket").arg(userPart()));
}

SingleInstance::Claim SingleInstance::claim()
{
    QLockFile claimLock(claimLockPath());
    claimLock.setStaleLockTime(0); // stale only when its process has died
    const bool locked = claimLock.tryLock(kClaimLockTimeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(kConnectTimeoutMs))
        return askToRaise(socket) ? Claim::HandedOver : Claim::NoAnswer;
    // Nobody listens: a socket file left there is a crashed launcher's.
    // Without the lock (a runtime folder that takes no files) the window
    // still opens, only without answering later starts.
    if (locked)
        listen();
    return Claim::First;
}

bool SingleInstance::askToRaise(QLocalSocket& socket)
{
    socket.write(kRaiseRequest);
    if (!socket.waitForBytesWritten(kAnswerTimeoutMs))
        return false;
    QByteArray answer;
    while (!answer.endsWith('\n') && socket.waitForReadyRead(kAnswerTimeoutMs))
        answer += socket.readAll();
    return answer == kRaisedAnswer;
}

bool SingleInstance::listen()
{
    QLocalServer::removeServer(socketPath());
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &SingleInstance::answer);
    return server->listen(socketPath());
}

void SingleInstance::answer()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == kRaiseRequest && window)
                bringToFront(window);
            socket->write(kRaisedAnswer);
            socket->disconnectFromServer();
        });
    }
}

void SingleInstance::setWindow(QWidget* shown)
{
    window = shown;
}

void bringToFront(QWidget* window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
