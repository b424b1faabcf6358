#include "store/io/datafile.h"

#include <QFile>

namespace skyhaul {

namespace {

QString describe(FileIoError::Operation operation, const QString& path, const QString& reason)
{
    const QString verb = operation == FileIoError::Operation::Read ? QStringLiteral("Cannot read file ")
                                                                   : QStringLiteral("Cannot write file ");
    return verb + path + QStringLiteral(": ") + reason;
}

} // namespace

FileIoError::FileIoError(Operation operation, const QString& path, const QString& reason)
    : std::runtime_error(describe(operation, path, reason).toStdString()), m_operation(operation),
      m_path(path), m_reason(reason)
{
}

QString FileIoError::message() const
{
    return describe(m_operation, m_path, m_reason);
}

QByteArray readDataFile(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileIoError(FileIoError::Operation::Read, path, file.errorString());
    // One byte more than allowed tells a file that is too large, also one that grows while it is read.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw FileIoError(FileIoError::Operation::Read, path, file.errorString());
    if (bytes.size() > maxBytes)
        throw FileIoError(FileIoError::Operation::Read, path,
                          QStringLiteral("The file is larger than %1 bytes").arg(maxBytes));
    return bytes;
}

} // namespace skyhaul
