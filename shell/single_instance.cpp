#include "shell/single_instance.h"

#include <unistd.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include "core/app.h"
#include "platform/paths.h"

namespace pellary {

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

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
      probe.write("activate\n");
      probe.waitForBytesWritten(1000);
      probe.disconnectFromServer();
      return false;
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
    if (onActivate_) onActivate_();
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
