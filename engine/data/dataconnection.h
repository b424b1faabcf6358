#pragma once

#include "engine/component/errors.h"
#include "engine/component/queuedcall.h"
#include "engine/control/channel.h"
#include "engine/control/lineassembler.h"

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

#include <optional>

namespace skyhaul::engine {

class Session;

/**
 * The data side of the engine: passive and active data connections, and the transfers that run over them
 * (download to a file or to events, upload from a file, full listing). One object per engine, reused.
 */
class DataConnection : public QObject {
    Q_OBJECT
public:
    /// What the data connection carries.
    enum class Kind { None = 0, DownloadToEvents = 1, Upload = 2, DownloadToFile = 3, Listing = 5 };

    /// Bytes read from the file for one block of an upload.
    static constexpr qint64 kUploadBlock = 256 * 1024;
    /// Blocks queued on the socket per readiness notification: bounds the work done between two passes of
    /// the event loop, so the user interface keeps running during an upload.
    static constexpr int kBlocksPerRound = 4;
    /// How far the socket layer may read ahead of the file writes of a download.
    static constexpr qint64 kReadAhead = 4 * 1024 * 1024;
    /// Largest block handed to the file and to OnTransfer in one go.
    static constexpr qint64 kReadBlock = 256 * 1024;
    /// Bytes of a download written in one pass of the event loop.
    static constexpr qint64 kBytesPerPass = 2 * 1024 * 1024;
    /// Listing lines parsed and reported in one pass of the event loop.
    static constexpr int kListingLinesPerPass = 2000;
    /// A listing line longer than this arrives as more than one line.
    static constexpr qsizetype kListingLineBytes = 2048;
    /// Listing bytes taken from the connection at a time.
    static constexpr qint64 kListingChunk = 64 * 1024;

    explicit DataConnection(Session& session);
    ~DataConnection() override;

    void download();
    void upload();
    void listDirectory();

    /// Closes the data connection, any listening socket and the local file at once (failed operations).
    void abort();

    /// The restart offset `StartByte` stands for: an optional sign and digits up to the first non-digit.
    static qint64 restartOffset(const QString& startByte);
    /// A reply saying the command is not implemented or not understood (500, 501, 502, 504).
    static bool isNotImplementedReply(const QByteArray& reply);
    /// Parses the six numbers of a PASV reply (from its fourth character on). False when it holds fewer.
    static bool parsePassiveReply(const QByteArray& reply, quint32& address, quint16& port);
    /**
     * Parses the port of an EPSV reply, "(|||port|)" with any printable non-digit delimiter (from its
     * fourth character on). False when a part is missing or the port is beyond 65535; port 0 parses.
     */
    static bool parseExtendedPassiveReply(const QByteArray& reply, quint16& port);

private:
    void prepare(Kind kind);
    void open();
    void openPassive();
    /// EPSV's port; nothing when the server refused it and PASV may stand in (`required` false).
    std::optional<quint16> portByEpsv(bool required);
    quint16 portByPasv();
    /// A passive reply must be 22x: otherwise OnError and 141 with the standard text.
    void requirePassiveCode(const QByteArray& reply);
    /// OnError and 141 with `problem` followed by the reply.
    [[noreturn]] void refuseReply(const QString& problem, const QByteArray& reply);
    void openActive();
    void onAccepted();
    void onConnected();
    void onEstablished();
    void failTls(int code, QString text); ///< by value: the text may live in what the cut frees
    void onReadable();
    /// One bounded pass over what arrived; true when more may be waiting.
    bool receiveListing();
    bool receiveBlocks();
    void onClosed();
    void completeTransfer();
    void pumpUpload();
    void shutdownUpload();
    /// Ends an upload whose local file failed: the server is not told the data is complete.
    void breakOffUpload(const Failure& failure);
    void deliverListingLine(const QByteArray& line);
    void completionWait();
    /// Keeps the first local file failure of a download: the method fails with it once the server is done.
    void noteFileFailure(int code, const QString& text);
    /// Writes out what the file still buffers and closes it; a failed write is a file failure.
    void closeDownloadFile();
    /// Goes on receiving a download whose control connection is gone until the server closes the data
    /// connection, so that nothing it sent is missing from the file.
    void receiveToTheEnd();
    /// The remote file's time by MDTM; nothing when the reply does not tell it.
    std::optional<QDateTime> askModificationTime(const QString& remoteFile);
    /// After a whole download: gives the local file the remote file's time (KeepFileTimes).
    void keepDownloadTime();
    /// After a whole upload: gives the remote file the local file's time by MFMT where the server has it.
    void keepUploadTime(const QDateTime& localTime);
    int percent() const;
    int direction() const { return m_kind == Kind::Upload ? 0 : 1; }

    Session& m_session;
    Channel m_channel;
    QPointer<QTcpServer> m_listener;
    LineAssembler m_lines;
    QFile m_file;
    Kind m_kind = Kind::None;
    qint64 m_offset = 0;
    qint64 m_counter = 0;
    std::optional<qint64> m_total;        // from SIZE; none when the server has no SIZE
    std::optional<Failure> m_fileFailure; // the download's file could not be created or written
    qint64 m_uploadSize = 0;
    bool m_established = false;
    bool m_finished = false;
    bool m_uploadQueued = false;
    std::optional<Failure> m_uploadFailure; // the local file failed during the upload
    bool m_storeSent = false;
    bool m_tls = false;
    bool m_transferAnswered = false; // the transfer command got its preliminary reply
    bool m_nulReported = false;      // a listing line with a NUL byte was reported
    bool m_machineListing = false;   // the listing is MLSD's, not LIST's
    bool m_lineCut = false;          // the last MLSD line filled the buffer: the next is its tail
    bool m_peerClosed = false;       // the server closed; what arrived is still being taken
    bool m_receiving = false;        // a receiving pass is in progress
    QueuedCall m_nextPass{this, [this] { onReadable(); }};
    QByteArray m_block;
    QByteArray m_chunk; // listing bytes being cut into lines
    qsizetype m_chunkPos = 0;
};

} // namespace skyhaul::engine
