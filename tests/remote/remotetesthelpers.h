#pragma once

#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"

#include "engine/component/ftpengine.h"
#include "remote/remoteframe.h"
#include "store/configrecord.h"
#include "store/extrasettings.h"
#include "store/sitestore.h"
#include "ui/dialogs/logonform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <functional>
#include <memory>

namespace skyhaul::test {

/**
 * Answers the modal windows that open while a call runs, as a person would: each new modal window gets the
 * next action, in order of appearance. A modal window without an action left, or one still open 10 s after
 * it appeared, is closed with code -1 and counted in unexpected().
 */
class ModalAnswerer {
public:
    using Action = std::function<void(QWidget* modal)>;

    explicit ModalAnswerer(QList<Action> actions = {}) : m_actions(std::move(actions))
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
        m_poll.start();
    }

    void add(const Action& action) { m_actions.append(action); }
    int seen() const { return m_seen; }
    int unexpected() const { return m_unexpected; }
    /// Window class and text of every modal window seen, e.g. "QMessageBox: Path name must start ...".
    QStringList seenWindows;

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (modal == m_current) {
            if (m_since.elapsed() > 10000)
                closeUnexpected(modal);
            return;
        }
        m_current = modal;
        m_since.start();
        ++m_seen;
        QString text;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            text = box->text();
        seenWindows << QString::fromLatin1(modal->metaObject()->className()) + QStringLiteral(": ") + text;
        if (m_actions.isEmpty()) {
            closeUnexpected(modal);
            return;
        }
        const Action action = m_actions.takeFirst();
        action(modal);
    }

    void closeUnexpected(QWidget* modal)
    {
        ++m_unexpected;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(-1);
        else
            modal->close();
    }

    QList<Action> m_actions;
    QTimer m_poll;
    QPointer<QWidget> m_current;
    QElapsedTimer m_since;
    int m_seen = 0;
    int m_unexpected = 0;
};

/// A logon dialog answered with this user and password (the host and user it showed are kept).
inline ModalAnswerer::Action logOnAs(const QString& user, const QString& password,
                                     QString* shownHost = nullptr, QString* shownUser = nullptr)
{
    return [=](QWidget* modal) {
        auto* form = qobject_cast<TLogonForm*>(modal);
        QVERIFY2(form, modal->metaObject()->className());
        if (shownHost)
            *shownHost = form->HostLabel->text();
        if (shownUser)
            *shownUser = form->IDEdit->text();
        form->IDEdit->setText(user);
        form->PassEdit->setText(password);
        QTest::mouseClick(form->LogonBtn, Qt::LeftButton);
    };
}

/// A logon dialog cancelled.
inline ModalAnswerer::Action cancelLogon(QString* shownHost = nullptr, QString* shownUser = nullptr)
{
    return [=](QWidget* modal) {
        auto* form = qobject_cast<TLogonForm*>(modal);
        QVERIFY2(form, modal->metaObject()->className());
        if (shownHost)
            *shownHost = form->HostLabel->text();
        if (shownUser)
            *shownUser = form->IDEdit->text();
        QTest::mouseClick(form->CancelBtn, Qt::LeftButton);
    };
}

/// What a message box showed.
struct BoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString objectName;
};

/// A message box read and closed with its OK button.
inline ModalAnswerer::Action pressOk(BoxSeen* seen)
{
    return [=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY2(box, modal->metaObject()->className());
        *seen = {box->windowTitle(), box->text(), box->icon(), box->objectName()};
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    };
}

/// Records the commands the tab's engine sends, then passes every line on to the tab.
class TrailTap {
public:
    explicit TrailTap(TRemoteFrame& tab) : m_tab(&tab)
    {
        auto original = tab.engine()->OnPITrail;
        tab.engine()->OnPITrail = [this, original](int direction, const QString& message) {
            if (direction == 0)
                commands << message;
            if (original)
                original(direction, message);
        };
    }

    /// How many commands of this verb ("LIST", "CWD") were sent since the last clear().
    int count(const QString& verb) const
    {
        int n = 0;
        for (const QString& c : commands) {
            if (c == verb || c.startsWith(verb + QLatin1Char(' ')))
                ++n;
        }
        return n;
    }
    void clear() { commands.clear(); }

    QStringList commands;

private:
    TRemoteFrame* m_tab;
};

/**
 * What every remote-tab test needs: an application folder of its own with an empty quick-connect list, the
 * configuration and the extra settings at their first-start values, and English (United States) number and
 * date formats.
 */
class TabEnvironment {
public:
    TabEnvironment()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        config.applyDefaults();
        extraSettings() = ExtraSettings();
    }
    ~TabEnvironment() { extraSettings() = ExtraSettings(); }

    /// What a tab of this folder is handed: the folder, the texts of the configured language (read now),
    /// the quick-connect list, the settings record and the listing order below and the folder's "skTemp/".
    RemoteTabContext context(PaneHost* paneHost = nullptr)
    {
        return {.appFolder = m_folder.path(),
                .texts = Texts(m_folder.path(), config.Language),
                .quickConnectList = &quickConnect,
                .tempFolder = m_folder.filePath(QStringLiteral("skTemp/")),
                .paneHost = paneHost,
                .config = &config,
                .listingOrder = &listingOrder};
    }

    QString folder() const { return m_folder.path(); }
    QString filePath(const QString& name) const { return m_folder.filePath(name); }

    TSiteManList quickConnect;
    /// The settings the tabs of this environment read; first-start values.
    ConfigRecord config;
    /// The listing order the tabs of this environment share.
    ListingOrder listingOrder;

private:
    QTemporaryDir m_folder;
};

/**
 * The desktop's programs for file types as xdg-mime and the desktop entries tell them, made up for one test:
 * only the types given to associate() have a program (a desktop entry of ours that runs /bin/true); no other
 * type has any. The environment is put back when it goes.
 */
class DesktopTypes {
public:
    DesktopTypes()
    {
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP"})
            m_saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        QDir().mkpath(m_root.filePath(QStringLiteral("config")));
        QDir().mkpath(m_root.filePath(QStringLiteral("data")));
        QDir().mkpath(m_root.filePath(QStringLiteral("configdirs")));
        // Where the program looks for desktop entries too (the application data location of test mode is a
        // folder of its own, and the data folders come after it).
        QDir().mkpath(m_root.filePath(QStringLiteral("datadirs/applications")));
        // The types themselves stay known: the MIME database is read from the same data folders.
        const QString mime = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                    QStringLiteral("mime"), QStandardPaths::LocateDirectory);
        if (!mime.isEmpty())
            QFile::link(mime, m_root.filePath(QStringLiteral("datadirs/mime")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("data"))));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_root.filePath(QStringLiteral("configdirs"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_root.filePath(QStringLiteral("datadirs"))));
        qunsetenv("XDG_CURRENT_DESKTOP");
    }
    ~DesktopTypes()
    {
        for (const Saved& saved : std::as_const(m_saved)) {
            if (saved.set)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }
    DesktopTypes(const DesktopTypes&) = delete;
    DesktopTypes& operator=(const DesktopTypes&) = delete;

    /// Files of this MIME type open with a program of ours.
    void associate(const QString& mimeType)
    {
        QFile entry(m_root.filePath(QStringLiteral("datadirs/applications/skyhaultest.desktop")));
        if (entry.open(QIODevice::WriteOnly))
            entry.write("[Desktop Entry]\nType=Application\nName=Test\nExec=/bin/true %f\n");
        m_defaults += mimeType + QStringLiteral("=skyhaultest.desktop\n");
        QFile list(m_root.filePath(QStringLiteral("config/mimeapps.list")));
        if (list.open(QIODevice::WriteOnly))
            list.write("[Default Applications]\n" + m_defaults.toUtf8());
    }

private:
    struct Saved {
        const char* name;
        bool set;
        QByteArray value;
    };
    QTemporaryDir m_root;
    QList<Saved> m_saved;
    QString m_defaults;
};

/// Fills the connect fields as a person types them.
inline void fillFields(TRemoteFrame& tab, const QString& host, quint16 port, const QString& user,
                       const QString& password)
{
    tab.widgets().HostEdit->setEditText(host);
    tab.widgets().PortEdit->setText(QString::number(port));
    tab.widgets().IDEdit->setText(user);
    tab.widgets().PassEdit->setText(password);
    tab.widgets().SSLCB->setCurrentIndex(3);
}

/// Every line of the log with its colour.
inline QList<std::pair<QString, QColor>> logLines(const TRemoteFrame& tab)
{
    QList<std::pair<QString, QColor>> lines;
    for (QTextBlock block = tab.widgets().Logs->document()->begin(); block.isValid(); block = block.next()) {
        QColor colour;
        if (block.begin() != block.end())
            colour = block.begin().fragment().charFormat().foreground().color();
        lines.append({block.text(), colour});
    }
    return lines;
}

/// The connected rows show and the disconnected rows are hidden (or the other way round).
inline bool showsConnectedRows(const TRemoteFrame& tab)
{
    return tab.widgets().RemoteToolBar->isVisibleTo(&tab) && tab.widgets().NavBar->isVisibleTo(&tab) &&
           !tab.widgets().RemoteLoginToolBar->isVisibleTo(&tab) &&
           !tab.widgets().ConnOptionBar->isVisibleTo(&tab);
}
inline bool showsDisconnectedRows(const TRemoteFrame& tab)
{
    return !tab.widgets().RemoteToolBar->isVisibleTo(&tab) && !tab.widgets().NavBar->isVisibleTo(&tab) &&
           tab.widgets().RemoteLoginToolBar->isVisibleTo(&tab) &&
           tab.widgets().ConnOptionBar->isVisibleTo(&tab);
}

/// The names the file list shows, top to bottom.
inline QStringList shownNames(const TRemoteFrame& tab)
{
    QStringList names;
    QAbstractItemModel* model = tab.widgets().rFileListView->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

/// A tab shown and logged on to the server.
struct ConnectedTab {
    ConnectedTab(const FtpServer& server, TabEnvironment& env) : tab(env.context())
    {
        tab.resize(900, 650);
        tab.show();
        fillFields(tab, server.host(), server.port(), server.user(), server.password());
        tab.ConnectBtnClick();
    }
    TRemoteFrame tab;
    TrailTap trail{tab};
};

/// Selects the rows of these names in the file list, and nothing else, as ctrl-clicks do.
inline void selectNames(TRemoteFrame& tab, const QStringList& names)
{
    QItemSelectionModel* selection = tab.widgets().rFileListView->selectionModel();
    selection->clearSelection();
    const QStringList shown = shownNames(tab);
    for (const QString& name : names) {
        const int row = int(shown.indexOf(name));
        QVERIFY2(row >= 0, qPrintable(name));
        selection->select(tab.widgets().rFileListView->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

/// The script of the tab logging on as "u"/"p" (binary, "/") and listing "/": the data connection sends
/// `listing` after `delayMs`. The caller appends what follows the listing.
inline skyhaul::test::Script logOnAndListRoot(const QByteArray& listing, int delayMs = 0)
{
    using namespace skyhaul::test::script;
    skyhaul::test::Script steps{send("220 Ready\r\n"),
                                expect("USER u"),
                                reply("331 Password?"),
                                expect("PASS p"),
                                reply("230 Hi"),
                                expect("FEAT"),
                                reply("502 No features"),
                                expect("TYPE I"),
                                reply("200 Binary"),
                                expect("CWD /"),
                                reply("250 Here"),
                                expect("PASV"),
                                pasv(),
                                expect("LIST"),
                                reply("150 Listing"),
                                acceptData()};
    if (delayMs > 0)
        steps << delay(delayMs);
    if (!listing.isEmpty())
        steps << sendData(listing);
    steps << closeData() << reply("226 Done");
    return steps;
}

} // namespace skyhaul::test
