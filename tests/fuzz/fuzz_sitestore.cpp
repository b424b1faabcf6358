// The site record file: any file loads without harm, and saving what was loaded (or records made from any
// texts) then loading again gives back the same records.
#include "store/io/ansitext.h"
#include "store/sitestore.h"
#include "tests/fuzz/fuzzcheck.h"

#include <limits>

using skyhaul::fuzz::consumeText;
using skyhaul::fuzz::scratchFolder;

namespace {

bool sameRecord(const TSiteManRec& a, const TSiteManRec& b)
{
    return a.ID == b.ID && a.IsGroup == b.IsGroup && a.ParentID == b.ParentID && a.Port == b.Port &&
           a.Passive == b.Passive && a.SSLMode == b.SSLMode && a.Anonymous == b.Anonymous &&
           a.LocalPath == b.LocalPath && a.Name == b.Name && a.Notes == b.Notes && a.Password == b.Password &&
           a.Host == b.Host && a.RemotePath == b.RemotePath && a.UserID == b.UserID;
}

// Saves the store and loads the file into a new one.
void checkSaveThenLoad(const TSiteManList& store, const QList<TSiteManRec>& expected)
{
    const QString path = scratchFolder() + QStringLiteral("/saved.dat");
    store.SaveToFile(path);
    TSiteManList back;
    back.LoadFromFile(path);
    FUZZ_CHECK(back.Count() == expected.size());
    for (int i = 0; i < back.Count(); ++i)
        FUZZ_CHECK(sameRecord(*back.Item(i), expected[i]));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    if (data.ConsumeBool()) {
        // A record made from any texts comes back with each text as a record slot keeps it.
        auto rec = std::make_unique<TSiteManRec>();
        rec->ID = data.ConsumeIntegral<qint32>();
        rec->IsGroup = data.ConsumeBool();
        rec->Port = data.ConsumeIntegral<qint32>();
        rec->SSLMode = data.ConsumeIntegral<qint32>();
        for (QString* text : {&rec->LocalPath, &rec->Name, &rec->Notes, &rec->Password, &rec->Host,
                              &rec->RemotePath, &rec->UserID})
            *text = consumeText(data, 400);
        TSiteManRec expected = *rec;
        for (QString* text : {&expected.LocalPath, &expected.Name, &expected.Notes, &expected.Password,
                              &expected.Host, &expected.RemotePath, &expected.UserID})
            *text = skyhaul::cutToSlot(*text);
        TSiteManList store;
        store.Add(std::move(rec));
        checkSaveThenLoad(store, {expected});
        return 0;
    }

    // Any file: the whole records load, NextID is above every ID, and the loaded records survive a save.
    const std::string file = data.ConsumeRemainingBytesAsString();
    const QString path = skyhaul::fuzz::writeScratchFile(QStringLiteral("input.dat"),
                                                         QByteArray(file.data(), qsizetype(file.size())));
    TSiteManList store;
    store.LoadFromFile(path);
    FUZZ_CHECK(store.Count() == int(file.size() / TSiteManList::RecordSize));
    QList<TSiteManRec> loaded;
    for (int i = 0; i < store.Count(); ++i) {
        const TSiteManRec& rec = *store.Item(i);
        FUZZ_CHECK(rec.ID < store.NextID || store.NextID == std::numeric_limits<qint32>::max());
        loaded << rec;
    }
    checkSaveThenLoad(store, loaded);
    return 0;
}
