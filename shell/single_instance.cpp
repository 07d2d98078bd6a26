#include "shell/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <algorithm>

#include "core/app.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary {

namespace {
constexpr char kKnock[] = "activate\n";
constexpr char kAnswer[] = "ok\n";
}  // namespace

SingleInstance::SingleInstance(QString name, std::chrono::milliseconds answerWait, QObject* parent)
    : QObject(parent), name_(std::move(name)), answerWait_(answerWait) {}

SingleInstance::~SingleInstance() = default;

namespace {
// The user's runtime folder when it is really the user's own: a folder, owned
// by this uid, that no one else may write to.
QString privateRuntimeFolder() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (!dir || dir[0] != '/') return {};
  struct stat st {};
  if (::stat(dir, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 022) != 0) return {};
  return QString::fromLocal8Bit(dir);
}

bool isAbstract(const QString& name) { return !name.contains('/'); }

// The uid at the other end of a connected local socket; -1 when unknown.
long peerUid(qintptr fd) {
  ucred cred{};
  socklen_t size = sizeof cred;
  if (fd < 0 || ::getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) return -1;
  return long(cred.uid);
}
}  // namespace

QString SingleInstance::defaultName() {
  std::string folder = paths::settingsFolder().lexically_normal().string();
  QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(folder), QCryptographicHash::Sha1).toHex();
  // In the user's own runtime folder no one else can take the name first;
  // without one, an abstract name (no file anywhere) with the uid in it, and
  // the peer's uid checked on every connection.
  QString runtime = privateRuntimeFolder();
  if (!runtime.isEmpty())
    return runtime + QStringLiteral("/pellary-almoner-%1.sock").arg(QString::fromLatin1(hash.left(16)));
  return QStringLiteral("pellary-almoner-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.left(16)));
}

bool SingleInstance::claim() {
  const auto options = isAbstract(name_) ? QLocalSocket::AbstractNamespaceOption : QLocalSocket::NoOptions;
  {
    QLocalSocket probe;
    probe.setSocketOptions(options);
    probe.connectToServer(name_);
    if (probe.waitForConnected(1000)) {
      // Someone else holding the name is no copy of ours to hand over to.
      if (peerUid(probe.socketDescriptor()) != long(getuid()))
        raise(err::InstanceNotAnswering, "Another user holds the socket " + clipped(name_.toStdString(), 120) +
                                             " this program uses to find its running copy; it does not start.");
      probe.write(kKnock);
      probe.waitForBytesWritten(1000);
      QElapsedTimer waited;
      waited.start();
      while (!probe.canReadLine() && waited.elapsed() < answerWait_.count() &&
             probe.state() == QLocalSocket::ConnectedState)
        probe.waitForReadyRead(int(std::max<qint64>(1, answerWait_.count() - waited.elapsed())));
      if (probe.canReadLine() && probe.readLine() == kAnswer) {
        probe.disconnectFromServer();
        return false;
      }
      raise(err::InstanceNotAnswering,
            appTitle() +
                " is already running but does not answer. If it has stopped responding, end it "
                "and start the program again.");
    }
  }
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(isAbstract(name_) ? QLocalServer::AbstractNamespaceOption : QLocalServer::UserAccessOption);
  if (!server_->listen(name_)) {
    // Nobody answered, so the socket is left over from a copy that crashed.
    QLocalServer::removeServer(name_);
    server_->listen(name_);
  }
  connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
  return true;
}

void SingleInstance::acceptConnections() {
  while (QLocalSocket* s = server_->nextPendingConnection()) {
    // Only this user's own later starts may knock.
    if (peerUid(s->socketDescriptor()) != long(getuid())) {
      s->abort();
      s->deleteLater();
      continue;
    }
    connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    connect(s, &QLocalSocket::readyRead, this, [this, s] { answer(s); });
    answer(s);
  }
}

// The later start knocked: bring the window forward and say so.
void SingleInstance::answer(QLocalSocket* socket) {
  while (socket->canReadLine()) {
    if (socket->readLine() != kKnock) continue;
    if (onActivate_) onActivate_();
    socket->write(kAnswer);
    socket->flush();
  }
}

void activateMainWindow() {
  const QString title = QString::fromStdString(appTitle());
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->windowTitle() == title && w->isVisible()) {
      if (w->isMinimized()) w->showNormal();
      w->raise();
      w->activateWindow();
      return;
    }
  }
}

}  // namespace pellary
