#include "editor/qt/controls.h"

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVariant>

QPushButton* makeButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLineEdit* makeNameField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setAcceptDrops(false);
    return field;
}

namespace {
const char* const kDropHighlight = "dropHighlight";
}

void setDropHighlight(QWidget* widget, bool highlighted)
{
    if (isDropHighlighted(widget) == highlighted) return;
    widget->setProperty(kDropHighlight, highlighted);
    if (!highlighted) {
        widget->setPalette(QPalette()); // back to what the parent gives
        widget->setAutoFillBackground(false);
        return;
    }
    // Tinted toward the selection colour: a list's items, a row's background,
    // not the fields inside the row.
    const QPalette::ColorRole role =
        qobject_cast<QAbstractScrollArea*>(widget) != nullptr ? QPalette::Base : QPalette::Window;
    QPalette colors = widget->palette();
    const QColor base = colors.color(role);
    const QColor mark = colors.color(QPalette::Highlight);
    const auto mix = [](int a, int b) { return (2 * a + b) / 3; };
    colors.setColor(
        role, QColor(mix(base.red(), mark.red()), mix(base.green(), mark.green()), mix(base.blue(), mark.blue())));
    widget->setPalette(colors);
    widget->setAutoFillBackground(true);
}

bool isDropHighlighted(const QWidget* widget)
{
    return widget->property(kDropHighlight).toBool();
}
