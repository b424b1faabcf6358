#include "app/main/skyhaulapplication.h"

#include "ui/errorbox.h"

#include <exception>

TSkyhaulApplication::TSkyhaulApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TSkyhaulApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // One wording for every exception of the program: the standard error box.
        skyhaul::reportException(std::current_exception());
    }
    return false;
}
