#include "shell/single_instance.h"

#include <unistd.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <QElapsedTimer>
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

QString SingleInstance::defaultName() {
  std::string folder = paths::settingsFolder().lexically_normal().string();
  QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(folder), QCryptographicHash::Sha1).toHex();
  return QStringLiteral("pellary-almoner-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.left(16)));
}

bool SingleInstance::claim() {
  {
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (probe.waitForConnected(1000)) {
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
            appTitle() + " is already running but does not answer. If it has stopped responding, end it "
                         "and start the program again.");
    }
  }
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
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
