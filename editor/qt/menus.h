#pragma once

#include "editor/commands.h"

#include <QKeySequence>
#include <QList>
#include <QObject>

#include <functional>
#include <map>

class CEditorSession;
class QAction;
class QMenuBar;
class QWidget;

QKeySequence keySequence(const Shortcut& shortcut);

// The window's menu bar, built from the session's one list of menus: each
// entry runs its command, and shows the session's text, enabled state and
// reason (as its tooltip).
class EditorMenus : public QObject {
    Q_OBJECT

public:
    // run: how the window hands a command to the session.
    EditorMenus(QWidget* window, const std::function<void(Command)>& run);

    QMenuBar* menuBar() const { return m_bar; }
    QAction* action(Command command) const;
    void show(const CEditorSession& session);

private:
    QMenuBar* m_bar;
    std::map<Command, QAction*> m_actions;
    std::map<Command, QString> m_fixedTexts;
};
