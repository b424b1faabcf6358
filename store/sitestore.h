#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

namespace skyhaul {

/// How the names on a site's control connection are encoded; stored as its number in the host slot's last
/// byte (0, what every older file holds there, is Auto).
enum class NameEncodingChoice : quint8 {
    Auto = 0,  ///< UTF-8 when the server announces it, else the locale's encoding
    Utf8 = 1,  ///< always UTF-8
    Local = 2, ///< always the locale's encoding
};

} // namespace skyhaul

/**
 * One site or group of a site record file ("SiteManager.dat", "QuickConnectList.dat"). Fields are read and
 * written directly. Texts are kept whole in memory and cut to 255 bytes of the locale's 8-bit encoding when
 * the record is saved (skyhaul::cutToSlot() shows what will be kept).
 */
class TSiteManRec {
public:
    qint32 ID = -1;       ///< unique within its file; -1 for quick-connect entries
    bool IsGroup = false; ///< a group holds sites and other groups
    qint32 ParentID = -1; ///< ID of the holding group; -1 at the top level
    qint32 Port = 21;
    bool Passive = true;
    qint32 SSLMode = 3; ///< ordinal of TSSLStartMode: 0 automatic, 1 implicit, 2 explicit, 3 none
    bool Anonymous = false;
    QString LocalPath;
    QString Name;
    QString Notes;
    QString Password; ///< plain in memory, scrambled in the file
    QString Host;
    QString RemotePath = QStringLiteral("/");
    QString UserID;
    skyhaul::NameEncodingChoice NameEncoding = skyhaul::NameEncodingChoice::Auto;
};

/**
 * An ordered list of site records that owns them, and the ID to give the next record. The order is the
 * file's order; nothing here sorts it.
 *
 * The file is a sequence of packed 1811-byte records with no header. A trailing piece shorter than a record
 * is ignored on loading; the complete records before it load. NameEncoding lives in the last byte of the
 * host's text slot, which older readers ignore; a host text of the full 255 bytes (no real host name is that
 * long) takes that byte, and the record then loads with Auto.
 */
class TSiteManList {
public:
    /// Size of one record in the file.
    static constexpr int RecordSize = 1811;

    TSiteManList() = default;
    ~TSiteManList();
    TSiteManList(const TSiteManList&) = delete;
    TSiteManList& operator=(const TSiteManList&) = delete;

    /// Appends the record and takes ownership of it; returns its index.
    int Add(TSiteManRec* record);
    int Add(std::unique_ptr<TSiteManRec> record);

    /// The record at index; nullptr for any index of an empty store. An index outside a non-empty store
    /// throws std::out_of_range (the list index error).
    TSiteManRec* Item(int index) const;

    /// Index of the record, or -1.
    int IndexOf(const TSiteManRec* record) const;

    /// Destroys the record at index and removes it. Throws std::out_of_range for a bad index.
    void Delete(int index);

    /// Destroys every record. NextID is left as it is.
    void Clear();

    int Count() const { return int(m_records.size()); }

    /**
     * Replaces the records with those of the file. A missing file changes nothing. Raises NextID above every
     * loaded ID. Throws skyhaul::FileIoError when an existing file cannot be read; records read before the
     * failure stay.
     */
    void LoadFromFile(const QString& fileName);

    /// Writes every record, passwords scrambled, through the atomic save. Throws skyhaul::FileIoError, also
    /// for a file held because it could not be read (skyhaul::heldfiles).
    void SaveToFile(const QString& fileName) const;

    /// The ID for the next record the site manager creates.
    qint32 NextID = 0;

private:
    std::vector<std::unique_ptr<TSiteManRec>> m_records;
};
