// Keeps the program to one running copy per settings folder: the first copy
// listens on a local socket; a later start asks it to bring its window forward.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

namespace pellary {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // name: the socket name; every copy that shares it is one program.
  explicit SingleInstance(QString name, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this copy is the first: it now listens for later starts.
  // False when another copy answered; it has been asked to activate.
  bool claim();

  // Runs in the first copy whenever a later start knocks.
  void setActivateHandler(std::function<void()> handler) { onActivate_ = std::move(handler); }

  // The socket name for the current settings folder and user.
  static QString defaultName();

 private:
  void acceptConnections();

  QString name_;
  std::unique_ptr<QLocalServer> server_;
  std::function<void()> onActivate_;
};

// Brings the window titled with the application title to the front.
void activateMainWindow();

}  // namespace pellary
