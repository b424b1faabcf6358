#include "store/sitestore.h"

#include "store/io/ansitext.h"
#include "store/io/atomicsave.h"
#include "store/io/datafile.h"
#include "store/io/heldfiles.h"
#include "store/io/recordfields.h"
#include "store/passwordscramble.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

using namespace skyhaul::record;

// Packed record layout.
constexpr int OffID = 0;
constexpr int OffIsGroup = 4;
constexpr int OffParentID = 5;
constexpr int OffPort = 9;
constexpr int OffPassive = 13;
constexpr int OffSSLMode = 14;
constexpr int OffAnonymous = 18;
constexpr int OffLocalPath = 19;
constexpr int OffName = 275;
constexpr int OffNotes = 531;
constexpr int OffPassword = 787;
constexpr int OffHost = 1043;
constexpr int OffRemotePath = 1299;
constexpr int OffUserID = 1555;
static_assert(OffUserID + 256 == TSiteManList::RecordSize);
// Last byte of the host slot: free while the host text leaves it unused.
constexpr int OffNameEncoding = OffHost + 255;
constexpr int MaxHostBytesBesideEncoding = 254;

void encode(const TSiteManRec& rec, char* record)
{
    putInt(record, OffID, rec.ID);
    record[OffIsGroup] = rec.IsGroup ? 1 : 0;
    putInt(record, OffParentID, rec.ParentID);
    putInt(record, OffPort, rec.Port);
    record[OffPassive] = rec.Passive ? 1 : 0;
    putInt(record, OffSSLMode, rec.SSLMode);
    record[OffAnonymous] = rec.Anonymous ? 1 : 0;
    putText(record, OffLocalPath, rec.LocalPath);
    putText(record, OffName, rec.Name);
    putText(record, OffNotes, rec.Notes);
    // Cut the plain text first so the scrambled bytes decode back to whole characters.
    skyhaul::writeTextSlot(record + OffPassword, skyhaul::scramblePassword(skyhaul::toAnsi(rec.Password)));
    putText(record, OffHost, rec.Host);
    if (static_cast<unsigned char>(record[OffHost]) <= MaxHostBytesBesideEncoding)
        record[OffNameEncoding] = char(rec.NameEncoding);
    putText(record, OffRemotePath, rec.RemotePath);
    putText(record, OffUserID, rec.UserID);
}

void decode(const char* record, TSiteManRec& rec)
{
    rec.ID = getInt(record, OffID);
    rec.IsGroup = record[OffIsGroup] != 0;
    rec.ParentID = getInt(record, OffParentID);
    rec.Port = getInt(record, OffPort);
    rec.Passive = record[OffPassive] != 0;
    rec.SSLMode = getInt(record, OffSSLMode);
    rec.Anonymous = record[OffAnonymous] != 0;
    rec.LocalPath = getText(record, OffLocalPath);
    rec.Name = getText(record, OffName);
    rec.Notes = getText(record, OffNotes);
    rec.Password =
        skyhaul::fromSlotBytes(skyhaul::unscramblePassword(skyhaul::readTextSlot(record + OffPassword)));
    rec.Host = getText(record, OffHost);
    rec.NameEncoding = skyhaul::NameEncodingChoice::Auto;
    // As for saving the host as loaded: unreadable bytes come back longer and may fill the slot.
    if (static_cast<unsigned char>(record[OffHost]) <= MaxHostBytesBesideEncoding &&
        skyhaul::toAnsi(rec.Host).size() <= MaxHostBytesBesideEncoding) {
        const auto stored = static_cast<unsigned char>(record[OffNameEncoding]);
        if (stored <= quint8(skyhaul::NameEncodingChoice::Local))
            rec.NameEncoding = skyhaul::NameEncodingChoice(stored);
    }
    rec.RemotePath = getText(record, OffRemotePath);
    rec.UserID = getText(record, OffUserID);
}

[[noreturn]] void throwIndexError(int index)
{
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

} // namespace

TSiteManList::~TSiteManList()
{
    Clear();
}

int TSiteManList::Add(TSiteManRec* record)
{
    return Add(std::unique_ptr<TSiteManRec>(record));
}

int TSiteManList::Add(std::unique_ptr<TSiteManRec> record)
{
    m_records.push_back(std::move(record));
    return Count() - 1;
}

TSiteManRec* TSiteManList::Item(int index) const
{
    if (m_records.empty())
        return nullptr;
    if (index < 0 || index >= Count())
        throwIndexError(index);
    return m_records[size_t(index)].get();
}

int TSiteManList::IndexOf(const TSiteManRec* record) const
{
    const auto it = std::find_if(m_records.begin(), m_records.end(),
                                 [record](const auto& owned) { return owned.get() == record; });
    return it == m_records.end() ? -1 : int(it - m_records.begin());
}

void TSiteManList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throwIndexError(index);
    m_records.erase(m_records.begin() + index);
}

void TSiteManList::Clear()
{
    m_records.clear();
}

void TSiteManList::LoadFromFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return;
    Clear();
    if (!file.open(QIODevice::ReadOnly))
        throw skyhaul::FileIoError(skyhaul::FileIoError::Operation::Read, fileName, file.errorString());

    // Read record by record so a large file never sits in memory whole.
    char record[RecordSize];
    for (;;) {
        const qint64 got = file.read(record, RecordSize);
        if (got < 0)
            throw skyhaul::FileIoError(skyhaul::FileIoError::Operation::Read, fileName, file.errorString());
        if (got < RecordSize)
            break; // end of file, or a cut last record: keep what was complete
        auto rec = std::make_unique<TSiteManRec>();
        decode(record, *rec);
        // Saturate: an ID of INT_MAX in a damaged file must not wrap NextID to a negative number.
        if (rec->ID >= NextID)
            NextID = qint32(std::min<qint64>(qint64(rec->ID) + 1, std::numeric_limits<qint32>::max()));
        Add(std::move(rec));
    }
}

void TSiteManList::SaveToFile(const QString& fileName) const
{
    if (const QString held = skyhaul::heldfiles::reason(fileName); !held.isEmpty())
        throw skyhaul::FileIoError(skyhaul::FileIoError::Operation::Write, fileName,
                                   skyhaul::heldFileWriteReason(held));
    QByteArray bytes(qsizetype(m_records.size()) * RecordSize, '\0');
    for (size_t i = 0; i < m_records.size(); ++i)
        encode(*m_records[i], bytes.data() + qsizetype(i) * RecordSize);
    skyhaul::writeFileAtomically(fileName, bytes);
}
