#include "MigWizard/ui/QtActions.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

namespace migwiz {

TActionUpdater::TActionUpdater(QObject* parent) : QObject(parent) {
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

TActionUpdater::~TActionUpdater() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void TActionUpdater::Register(QAction* action, std::function<void()> onUpdate) {
  handlers_.emplace_back(action, std::move(onUpdate));
}

void TActionUpdater::UpdateActions() {
  pending_ = false;
  for (auto& [action, onUpdate] : handlers_)
    if (action && onUpdate) onUpdate();
}

bool TActionUpdater::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::Show:
      Schedule();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

void TActionUpdater::Schedule() {
  // The filter sees an event before its receiver does; the handlers must see its outcome, so
  // they run from the queue, once for any number of events.
  if (pending_) return;
  pending_ = true;
  QMetaObject::invokeMethod(this, &TActionUpdater::UpdateActions, Qt::QueuedConnection);
}

void BindToAction(QAbstractButton* button, QAction* action) {
  auto sync = [button, action] {
    button->setText(action->text());
    button->setEnabled(action->isEnabled());
  };
  sync();
  QObject::connect(action, &QAction::changed, button, sync);
  QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
}

}  // namespace migwiz
