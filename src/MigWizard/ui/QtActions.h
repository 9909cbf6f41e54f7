// Idle-time update of actions. A desktop toolkit with idle handling re-evaluates every action's enabled state
// whenever its message queue runs empty; Qt has no such thing, so handlers registered here run once
// an input event (mouse, key, wheel, focus) or a widget being shown has been handled.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <utility>
#include <vector>

class QAbstractButton;
class QAction;
class QEvent;

namespace migwiz {

class TActionUpdater : public QObject {
  Q_OBJECT

 public:
  // Watches the events of the whole application from now on.
  explicit TActionUpdater(QObject* parent = nullptr);
  ~TActionUpdater() override;

  // onUpdate runs for the action at every idle update, in the order of registration.
  void Register(QAction* action, std::function<void()> onUpdate);
  // Runs every handler now.
  void UpdateActions();

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Schedule();

  std::vector<std::pair<QPointer<QAction>, std::function<void()>>> handlers_;
  bool pending_ = false;
};

// Binds a button to an action: the button's caption and enabled state follow the action, and a
// click triggers it. A check box keeps its own check state.
void BindToAction(QAbstractButton* button, QAction* action);

}  // namespace migwiz
