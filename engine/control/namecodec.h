#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace skyhaul::engine {

/**
 * How names travel as bytes on one connection: in commands, replies and listing lines. Decoding never
 * loses a byte: bytes that are no valid text in the codec's encoding become lone low surrogates
 * (U+DC80..U+DCFF, one per byte), and encoding turns them back into the same bytes, so that a name read
 * from a listing names the same file when it is sent back in a command.
 */
class NameCodec {
public:
    enum class Form {
        Local, ///< the process's 8-bit encoding (UTF-8 on Unix, as Qt reads it whatever the locale)
        Utf8,  ///< UTF-8 whatever the process's locale (the server agreed to UTF-8 names)
    };

    NameCodec() = default;
    explicit NameCodec(Form form) : m_form(form) {}

    Form form() const { return m_form; }
    bool utf8() const { return m_form == Form::Utf8; }

    QString decode(QByteArrayView bytes) const;
    QByteArray encode(const QString& text) const;

private:
    Form m_form = Form::Local;
};

} // namespace skyhaul::engine
