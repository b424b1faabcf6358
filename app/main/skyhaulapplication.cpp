#include "app/main/skyhaulapplication.h"

#include "engine/component/ftpenginetypes.h"
#include "sites/datafile.h"

#ifdef SKYHAUL_HAVE_REMOTE_FRAME
#include "remote/errorbox.h"
#endif

#include <QMessageBox>

#include <exception>

TSkyhaulApplication::TSkyhaulApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QString TSkyhaulApplication::errorBoxText(const QString& message)
{
    // A message that ends in a letter, a digit or a closing mark gets its full stop.
    if (!message.isEmpty() && message.back().unicode() > '.')
        return message + QLatin1Char('.');
    return message;
}

bool TSkyhaulApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
#ifdef SKYHAUL_HAVE_REMOTE_FRAME
        // The remote tabs' box: one wording for every exception of the program.
        skyhaul::reportException(std::current_exception());
#else
        QString message = QStringLiteral("Unknown error");
        try {
            throw;
        } catch (const EFtpEngine& e) {
            message = e.Message();
        } catch (const skyhaul::FileIoError& e) {
            message = e.message();
        } catch (const std::exception& e) {
            message = QString::fromLocal8Bit(e.what());
        } catch (...) {
        }
        QMessageBox::critical(activeWindow(), QStringLiteral("Skyhaul"), errorBoxText(message));
#endif
    }
    return false;
}
