#include "ui/dialog_texts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>

#include "controls/control_id.h"
#include "core/language.h"

namespace corvane {

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString LangText(const char* key) { return FromUtf8(GetLangString(key)); }

namespace {
void SetControlText(QWidget* control, const QString& text) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(text);
  else if (auto* label = qobject_cast<QLabel*>(control)) label->setText(text);
  else if (auto* group = qobject_cast<QGroupBox*>(control)) group->setTitle(text);
  else control->setWindowTitle(text);
}
}  // namespace

void ApplyDialogTexts(QWidget* dialog, int templateId) {
  const std::string title = GetLangDialogTitle(templateId);
  if (!title.empty()) dialog->setWindowTitle(FromUtf8(title));
  for (QWidget* control : controls::ControlsWithIds(dialog)) {
    const std::string text = GetLangDialogText(templateId, controls::ControlId(control));
    if (!text.empty()) SetControlText(control, FromUtf8(text));
  }
}

}  // namespace corvane
