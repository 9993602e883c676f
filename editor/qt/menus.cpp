#include "editor/qt/menus.h"

#include "editor/editorsession.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

QKeySequence keySequence(const Shortcut& shortcut)
{
    int key = 0;
    switch (shortcut.key) {
    case Shortcut::Key::letter:
        key = Qt::Key_A + (shortcut.letter - 'A');
        break;
    case Shortcut::Key::enter:
        key = Qt::Key_Return;
        break;
    case Shortcut::Key::f1:
        key = Qt::Key_F1;
        break;
    case Shortcut::Key::f5:
        key = Qt::Key_F5;
        break;
    }
    Qt::KeyboardModifiers modifiers;
    if (shortcut.ctrl) modifiers |= Qt::ControlModifier;
    if (shortcut.shift) modifiers |= Qt::ShiftModifier;
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
}

EditorMenus::EditorMenus(QWidget* window, const std::function<void(Command)>& run)
    : QObject(window), m_bar(new QMenuBar(window))
{
    m_bar->setObjectName(QStringLiteral("menuBar"));
    for (const Menu& menu : editorMenus()) {
        QMenu* shown = m_bar->addMenu(QString::fromStdString(menu.title));
        shown->setToolTipsVisible(true);
        for (const MenuItem& item : menu.items) {
            if (item.separatorBefore) shown->addSeparator();
            const QString text = QString::fromStdString(item.text);
            QAction* action = shown->addAction(text);
            QList<QKeySequence> keys;
            for (const Shortcut& shortcut : item.shortcuts) keys << keySequence(shortcut);
            action->setShortcuts(keys);
            // The keys work wherever the focus is in the window, with the menu closed.
            window->addAction(action);
            const Command command = item.command;
            connect(action, &QAction::triggered, this, [run, command] { run(command); });
            m_actions[command] = action;
            m_fixedTexts[command] = text;
        }
    }
}

QAction* EditorMenus::action(Command command) const
{
    const auto found = m_actions.find(command);
    return found == m_actions.end() ? nullptr : found->second;
}

void EditorMenus::show(const CEditorSession& session)
{
    for (const auto& [command, action] : m_actions) {
        const CommandState state = session.state(command);
        action->setEnabled(state.enabled);
        action->setText(state.text.empty() ? m_fixedTexts[command] : QString::fromStdString(state.text));
        action->setToolTip(state.enabled ? QString() : QString::fromStdString(state.reason));
    }
}
