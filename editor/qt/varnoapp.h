#pragma once

#include <QApplication>

// The application object: names the program and runs the editor window.
class CVARNOApp : public QApplication {
    Q_OBJECT

public:
    CVARNOApp(int& argc, char** argv);

    // Runs the editor until it closes; the program then ends.
    int run();
};
