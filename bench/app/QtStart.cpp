// The least any Qt Core program costs: the library and its dependencies loaded, the application
// object made and destroyed. The command-line round sets it beside the two checks' start-ups.
#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return 0;
}
