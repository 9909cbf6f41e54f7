// The wizard dialog the product shows: the framework's wizard with the Kyzel side picture and a
// mail link to support on the welcome page.
#pragma once

#include <QColor>

#include "MigWizard/ui/Wizard.h"

class QLabel;

namespace ky {

inline constexpr const char* SupportAddress = "support@kyzel.example";

class TKyWizardForm : public migwiz::TWizardForm {
  Q_OBJECT

 public:
  explicit TKyWizardForm(QWidget* owner = nullptr);

  static inline const QColor LinkColor{0, 0, 255};
  static inline const QColor LinkHoverColor{255, 128, 64};

  QLabel* FLinkLabel = nullptr;  // owned by Step1Sheet

  void FormCreate();
  void LinkLabelClick();
  void LinkLabelMouseMove();
  void FormMouseMove();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void SetLinkColor(const QColor& color);
};

}  // namespace ky
