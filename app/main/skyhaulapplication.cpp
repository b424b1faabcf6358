#include "app/main/skyhaulapplication.h"

#include "engine/component/ftpenginetypes.h"
#include "sites/datafile.h"

#include <QMessageBox>

#include <exception>

TSkyhaulApplication::TSkyhaulApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QString TSkyhaulApplication::errorBoxText(const QString& message)
{
    return message.endsWith(QLatin1Char('.')) ? message : message + QLatin1Char('.');
}

bool TSkyhaulApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EFtpEngine& e) {
        QMessageBox::critical(activeWindow(), QStringLiteral("Skyhaul"), errorBoxText(e.Message()));
    } catch (const skyhaul::FileIoError& e) {
        QMessageBox::critical(activeWindow(), QStringLiteral("Skyhaul"), errorBoxText(e.message()));
    } catch (const std::exception& e) {
        QMessageBox::critical(activeWindow(), QStringLiteral("Skyhaul"),
                              errorBoxText(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        QMessageBox::critical(activeWindow(), QStringLiteral("Skyhaul"),
                              errorBoxText(QStringLiteral("Unknown error")));
    }
    return false;
}
