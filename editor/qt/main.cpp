#include "editor/qt/varnoapp.h"

int main(int argc, char** argv)
{
    CVARNOApp app(argc, argv);
    return app.run();
}
