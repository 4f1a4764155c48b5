// The text of a control, whatever kind of widget shows it.
#pragma once

#include <QString>

class QWidget;

/// Sets the text of a static, an edit, a button or a group box; other widgets keep theirs. A
/// static shows "\r\n" as a line break and gives back the text exactly as it was set.
void SetControlText(QWidget* pItem, const QString& text);
/// @returns the text of pItem as SetControlText took it, or an empty text for a widget without one.
QString GetControlText(const QWidget* pItem);
