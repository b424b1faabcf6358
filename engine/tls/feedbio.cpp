#include "engine/tls/feedbio.h"

#include <openssl/bio.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace skyhaul::engine {

namespace {

int readFeed(BIO* bio, char* out, size_t max, size_t* done)
{
    BIO_clear_retry_flags(bio);
    auto* source = static_cast<FeedSource*>(BIO_get_data(bio));
    const qsizetype n = source ? source->take(out, qsizetype(std::min<size_t>(max, 1 << 30))) : 0;
    if (n == 0) {
        // Empty means "more to come", never the end of the stream.
        BIO_set_retry_read(bio);
        *done = 0;
        return 0;
    }
    *done = size_t(n);
    return 1;
}

long controlFeed(BIO* bio, int command, long, void*)
{
    auto* source = static_cast<FeedSource*>(BIO_get_data(bio));
    switch (command) {
    case BIO_CTRL_PENDING:
        return source ? long(source->size()) : 0;
    case BIO_CTRL_FLUSH:
        return 1;
    default:
        return 0;
    }
}

int createFeed(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* feedMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "skyhaul feed");
        if (m) {
            BIO_meth_set_read_ex(m, readFeed);
            BIO_meth_set_ctrl(m, controlFeed);
            BIO_meth_set_create(m, createFeed);
        }
        return m;
    }();
    return method;
}

} // namespace

bio_st* FeedSource::makeBio()
{
    const BIO_METHOD* method = feedMethod();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (bio)
        BIO_set_data(bio, this);
    return bio;
}

void FeedSource::lend(QByteArrayView bytes)
{
    keep(); // never two lent buffers at once: the first one's rest goes first
    m_lent = bytes;
}

void FeedSource::keep()
{
    append(std::exchange(m_lent, {}));
}

void FeedSource::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_keptPos > 0) {
        m_kept.remove(0, m_keptPos);
        m_keptPos = 0;
    }
    if (!m_lent.isEmpty()) {
        // Lent bytes come before these: keep them first.
        const QByteArrayView lent = std::exchange(m_lent, {});
        m_kept.append(lent.data(), lent.size());
    }
    m_kept.append(bytes.data(), bytes.size());
}

qsizetype FeedSource::take(char* out, qsizetype max)
{
    qsizetype done = 0;
    if (const qsizetype kept = m_kept.size() - m_keptPos; kept > 0) {
        done = std::min(kept, max);
        std::memcpy(out, m_kept.constData() + m_keptPos, size_t(done));
        m_keptPos += done;
        if (m_keptPos == m_kept.size()) {
            m_kept.resize(0);
            m_keptPos = 0;
        }
    }
    if (done < max && !m_lent.isEmpty()) {
        const qsizetype n = std::min(m_lent.size(), max - done);
        std::memcpy(out + done, m_lent.data(), size_t(n));
        m_lent = m_lent.sliced(n);
        done += n;
    }
    return done;
}

} // namespace skyhaul::engine
