#include "ControlText.h"

#include "GroupFrame.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>

namespace {

// A static keeps the text as it was set in this property, so that reading it back returns the
// same bytes although the label shows "\r\n" as a single break.
const char* const kRawTextProperty = "rawText";

QString ShownText(QString text) { return text.replace(QLatin1String("\r\n"), QLatin1String("\n")); }

}  // namespace

void SetControlText(QWidget* pItem, const QString& text) {
  if (auto* pLabel = qobject_cast<QLabel*>(pItem)) {
    pLabel->setProperty(kRawTextProperty, text);
    pLabel->setText(ShownText(text));
  } else if (auto* pEdit = qobject_cast<QLineEdit*>(pItem)) {
    pEdit->setText(text);
  } else if (auto* pButton = qobject_cast<QAbstractButton*>(pItem)) {
    pButton->setText(text);
  } else if (auto* pGroup = dynamic_cast<CGroupFrame*>(pItem)) {
    pGroup->setTitle(text);
  }
}

QString GetControlText(const QWidget* pItem) {
  if (auto* pLabel = qobject_cast<const QLabel*>(pItem)) {
    // Text put into the label some other way is read as it shows.
    const QString raw = pLabel->property(kRawTextProperty).toString();
    return ShownText(raw) == pLabel->text() ? raw : pLabel->text();
  }
  if (auto* pEdit = qobject_cast<const QLineEdit*>(pItem))
    return pEdit->text();
  if (auto* pButton = qobject_cast<const QAbstractButton*>(pItem))
    return pButton->text();
  if (auto* pGroup = dynamic_cast<const CGroupFrame*>(pItem))
    return pGroup->title();
  return QString();
}
