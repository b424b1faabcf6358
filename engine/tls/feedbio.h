#pragma once

#include <QByteArray>
#include <QByteArrayView>

struct bio_st;

namespace skyhaul::engine {

/**
 * The ciphertext side of a TLS session: OpenSSL reads the records straight from the caller's buffer during
 * a feed, so a transfer's bytes are not copied into a memory BIO first. What a feed leaves unread (the
 * start of a record whose rest has not arrived) is kept here for the next feed.
 *
 *   source.lend(bytes);   // for the duration of the OpenSSL calls of one feed
 *   ...SSL_read...
 *   source.keep();        // before the caller's buffer goes away
 */
class FeedSource {
public:
    /// A BIO reading from this source; owned by whoever it is handed to (SSL_set_bio).
    bio_st* makeBio();

    /// Lets the BIO read @p bytes in place until keep(); bytes kept earlier are read first.
    void lend(QByteArrayView bytes);
    /// Copies what is left of the lent bytes, so the caller's buffer may go.
    void keep();
    /// Adds bytes behind everything else (copied).
    void append(QByteArrayView bytes);

    /// Bytes not read yet.
    qsizetype size() const { return m_kept.size() - m_keptPos + m_lent.size(); }
    /// Moves up to @p max bytes to @p out; returns how many.
    qsizetype take(char* out, qsizetype max);

private:
    QByteArray m_kept;
    qsizetype m_keptPos = 0;
    QByteArrayView m_lent;
};

} // namespace skyhaul::engine
