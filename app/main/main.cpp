#include <QApplication>

#include "app/main/start_up.h"
#include "app/version.h"
#include "app/widgets/message_seam.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setApplicationName(kovrin::ProgramTitle);
    app.setApplicationVersion(kovrin::KovrinVersion);

    const std::unique_ptr<kovrin::FormMain> form = kovrin::Main();
    form->showMaximized();  // laid out for a whole screen; smaller screens scroll
    return app.exec();
}
