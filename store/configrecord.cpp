#include "store/configrecord.h"

#include "store/io/ansitext.h"
#include "store/io/atomicsave.h"
#include "store/io/datafile.h"
#include "store/io/recordfields.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cmath>

namespace skyhaul {

namespace {

using namespace skyhaul::record;

constexpr int OffLanguage = 0;
constexpr int OffMainWidth = 256;
constexpr int OffMainHeight = 260;
constexpr int OffMainLeft = 264;
constexpr int OffMainTop = 268;
constexpr int OffSplitterRatio = 272;
constexpr int OffBottomPanelHeight = 280;
constexpr int OffShowMainCaption = 284;
constexpr int OffShowLocalCaption = 285;
constexpr int OffShowRemoteCaption = 286;
constexpr int OffFileExistsAction = 287;
constexpr int OffDoubleClickAction = 291;
constexpr int OffStoreQuickConnectPassword = 295;
constexpr int OffEditorChoice = 296;
constexpr int OffEditorPath = 300;
constexpr int OffLeftActiveTab = 556;
constexpr int OffRightActiveTab = 560;
static_assert(OffRightActiveTab + 4 == ConfigRecord::RecordSize);
// The connect choices' flags: the Language slot's last byte, free while the name leaves it unused.
constexpr int OffConnectFlags = OffLanguage + 255;
constexpr int MaxLanguageBytesBesideFlags = 254;
// Each flag is set for the value that differs from the default, so a 0 byte gives the defaults.
constexpr char FlagMlsdOff = 0x01;
constexpr char FlagFileTimesOff = 0x02;
constexpr char FlagListHidden = 0x04;

/// The stored number as a choice of the enum, or the fallback when it names none.
template <typename Choice> Choice choiceOr(qint32 value, Choice last, Choice fallback)
{
    return value >= 0 && value <= qint32(last) ? Choice(value) : fallback;
}

} // namespace

QString ConfigRecord::filePath(const QString& appFolder)
{
    return QDir(appFolder).filePath(QStringLiteral("config.dat"));
}

void ConfigRecord::applyDefaults()
{
    const ConfigRecord fresh;
    const qint32 bottom = BottomPanelHeight;
    const qint32 left = LeftActiveTab;
    const qint32 right = RightActiveTab;
    *this = fresh;
    BottomPanelHeight = bottom;
    LeftActiveTab = left;
    RightActiveTab = right;
}

QByteArray ConfigRecord::toBytes() const
{
    QByteArray bytes(RecordSize, '\0');
    char* p = bytes.data();
    writeTextSlot(p + OffLanguage, toAnsi(Language));
    if (static_cast<unsigned char>(p[OffLanguage]) <= MaxLanguageBytesBesideFlags)
        p[OffConnectFlags] = char((UseMlsd ? 0 : FlagMlsdOff) | (KeepFileTimes ? 0 : FlagFileTimesOff) |
                                  (ListHidden ? FlagListHidden : 0));
    putInt(p, OffMainWidth, MainWidth);
    putInt(p, OffMainHeight, MainHeight);
    putInt(p, OffMainLeft, MainLeft);
    putInt(p, OffMainTop, MainTop);
    qToLittleEndian(SplitterRatio, p + OffSplitterRatio);
    putInt(p, OffBottomPanelHeight, BottomPanelHeight);
    p[OffShowMainCaption] = ShowMainCaption ? 1 : 0;
    p[OffShowLocalCaption] = ShowLocalCaption ? 1 : 0;
    p[OffShowRemoteCaption] = ShowRemoteCaption ? 1 : 0;
    putInt(p, OffFileExistsAction, qint32(FileExistsAction));
    putInt(p, OffDoubleClickAction, qint32(DoubleClickAction));
    p[OffStoreQuickConnectPassword] = StoreQuickConnectPassword ? 1 : 0;
    putInt(p, OffEditorChoice, qint32(EditorChoice));
    writeTextSlot(p + OffEditorPath, toAnsi(EditorPath));
    putInt(p, OffLeftActiveTab, LeftActiveTab);
    putInt(p, OffRightActiveTab, RightActiveTab);
    return bytes;
}

std::optional<ConfigRecord> ConfigRecord::fromBytes(QByteArrayView bytes)
{
    if (bytes.size() != RecordSize)
        return std::nullopt;
    const char* p = bytes.data();
    const ConfigRecord fresh;
    ConfigRecord rec;
    rec.Language = fromSlotBytes(readTextSlot(p + OffLanguage));
    // The flags count only where saving the name as loaded leaves their byte free: bytes the encoding
    // cannot read come back longer, and a record loaded, saved and loaded again must stay the same.
    if (static_cast<unsigned char>(p[OffLanguage]) <= MaxLanguageBytesBesideFlags &&
        toAnsi(rec.Language).size() <= MaxLanguageBytesBesideFlags) {
        const char flags = p[OffConnectFlags];
        rec.UseMlsd = (flags & FlagMlsdOff) == 0;
        rec.KeepFileTimes = (flags & FlagFileTimesOff) == 0;
        rec.ListHidden = (flags & FlagListHidden) != 0;
    }
    rec.MainWidth = getInt(p, OffMainWidth);
    rec.MainHeight = getInt(p, OffMainHeight);
    rec.MainLeft = getInt(p, OffMainLeft);
    rec.MainTop = getInt(p, OffMainTop);
    rec.SplitterRatio = qFromLittleEndian<double>(p + OffSplitterRatio);
    // The window multiplies its width by this ratio; NaN or a huge value would give a nonsense pane width.
    if (!std::isfinite(rec.SplitterRatio) || rec.SplitterRatio < 0.0 || rec.SplitterRatio > 1.0)
        rec.SplitterRatio = fresh.SplitterRatio;
    rec.BottomPanelHeight = getInt(p, OffBottomPanelHeight);
    rec.ShowMainCaption = p[OffShowMainCaption] != 0;
    rec.ShowLocalCaption = p[OffShowLocalCaption] != 0;
    rec.ShowRemoteCaption = p[OffShowRemoteCaption] != 0;
    rec.FileExistsAction = choiceOr(getInt(p, OffFileExistsAction), FileExists::Skip, fresh.FileExistsAction);
    rec.DoubleClickAction =
        choiceOr(getInt(p, OffDoubleClickAction), DoubleClick::Open, fresh.DoubleClickAction);
    rec.StoreQuickConnectPassword = p[OffStoreQuickConnectPassword] != 0;
    rec.EditorChoice = choiceOr(getInt(p, OffEditorChoice), Editor::EditorPath, fresh.EditorChoice);
    rec.EditorPath = fromSlotBytes(readTextSlot(p + OffEditorPath));
    rec.LeftActiveTab = getInt(p, OffLeftActiveTab);
    rec.RightActiveTab = getInt(p, OffRightActiveTab);
    return rec;
}

bool ConfigRecord::load(const QString& appFolder)
{
    const QString path = filePath(appFolder);
    // Check the size before opening: a file of another size is treated as missing and never held open.
    const QFileInfo info(path);
    if (info.exists() && info.isFile() && info.size() == RecordSize) {
        try {
            if (auto rec = fromBytes(readDataFile(path, RecordSize + 1))) {
                *this = *rec;
                return true;
            }
        } catch (const FileIoError&) {
            // Unreadable: defaults, as for a missing file.
        }
    }
    applyDefaults();
    return false;
}

void ConfigRecord::save(const QString& appFolder) const
{
    writeFileAtomically(filePath(appFolder), toBytes());
}

} // namespace skyhaul
