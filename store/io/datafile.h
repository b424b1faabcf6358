#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace skyhaul {

/// A data file (sites, configuration, favorites, layouts) that could not be read or written. The one place
/// that words such a failure; callers show message() or log it.
class FileIoError : public std::runtime_error {
public:
    enum class Operation { Read, Write };

    FileIoError(Operation operation, const QString& path, const QString& reason);

    Operation operation() const { return m_operation; }
    QString path() const { return m_path; }
    /// What the system said, e.g. "No space left on device".
    QString reason() const { return m_reason; }
    /// "Cannot write file /x/config.dat: No space left on device".
    QString message() const;

private:
    Operation m_operation;
    QString m_path;
    QString m_reason;
};

/// Upper bound for any text data file read whole (language files, layouts, favorites). A larger file is
/// refused as a whole: a part of it would be written back as if it were all.
inline constexpr qint64 MaxTextDataFileBytes = 4 * 1024 * 1024;

/// Reads an existing file of at most maxBytes. Throws FileIoError when the file cannot be opened or read, or
/// when it is larger than maxBytes.
QByteArray readDataFile(const QString& path, qint64 maxBytes = MaxTextDataFileBytes);

} // namespace skyhaul
