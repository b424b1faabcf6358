#include "ui/errorbox.h"

#include "engine/component/ftpengine.h"
#include "store/io/datafile.h"

#include <QMessageBox>
#include <QPointer>

namespace skyhaul {

EConvertError::EConvertError(const QString& text)
    : EAppError(QStringLiteral("'%1' is not a valid integer value").arg(text))
{
}

int textToInt(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError(text);
    return value;
}

QString exceptionMessage(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EFtpEngine& e) {
        return e.Message();
    } catch (const FileIoError& e) {
        return e.message();
    } catch (const EAppError& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

QString standardErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

QString applicationTitle()
{
    return QStringLiteral("Skyhaul");
}

void showStandardErrorBox(const QString& message)
{
    // Without a parent: a tab closed while the box is up must not take the box with it.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, applicationTitle(),
                                                standardErrorText(message), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("StandardErrorBox"));
    box->exec(); // nested modal loop
    delete box.data();
}

void reportException(const std::exception_ptr& error)
{
    showStandardErrorBox(exceptionMessage(error));
}

} // namespace skyhaul
