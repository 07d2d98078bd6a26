// Keeps the program to one running copy per settings folder: the first copy
// listens on a local socket; a later start asks it to bring its window
// forward and waits a few seconds for its answer. A copy that does not answer
// (hung, or busy in a long step) never locks the user out silently: the later
// start says so and ends with an error. A socket left by a copy that ended
// without cleaning up is taken over. The socket lives in the user's own
// $XDG_RUNTIME_DIR, else it has an abstract name with the uid in it (no file
// anywhere); a peer of another uid is refused on both sides: its answer ends
// the later start with an error, its knock is not answered.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace pellary {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // name: the socket name; every copy that shares it is one program.
  // answerWait: how long a later start waits for the first copy's answer.
  explicit SingleInstance(QString name, std::chrono::milliseconds answerWait = std::chrono::seconds(3),
                          QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this copy is the first: it now listens for later starts.
  // False when another copy answered; it has been asked to activate.
  // Raises InstanceNotAnswering when another copy holds the socket but does
  // not answer within answerWait.
  bool claim();

  // Runs in the first copy whenever a later start knocks.
  void setActivateHandler(std::function<void()> handler) { onActivate_ = std::move(handler); }

  // The socket for the current settings folder and user: a path in the
  // private runtime folder, or an abstract name (no "/").
  static QString defaultName();

 private:
  void acceptConnections();
  void answer(QLocalSocket* socket);

  QString name_;
  std::chrono::milliseconds answerWait_;
  std::unique_ptr<QLocalServer> server_;
  std::function<void()> onActivate_;
};

// Brings the window titled with the application title to the front.
void activateMainWindow();

}  // namespace pellary
