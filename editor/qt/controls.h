#pragma once

class QLineEdit;
class QPushButton;
class QString;
class QWidget;

// The window's push buttons never press themselves on Enter, as dialog
// buttons otherwise do.
QPushButton* makeButton(const QString& text, QWidget* parent);
// A field for a bank or slot name: files dropped on it go to the window, not
// into the text.
QLineEdit* makeNameField(QWidget* parent);
// Marks a widget as the place where a drop would land, and unmarks it.
void setDropHighlight(QWidget* widget, bool highlighted);
bool isDropHighlighted(const QWidget* widget);
