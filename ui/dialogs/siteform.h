#pragma once

#include "store/texts.h"

#include <QDialog>

#include <functional>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolBar;
class QToolButton;
class TSiteManList;
class TSiteManRec;

namespace skyhaul {

enum class NameEncodingChoice : quint8;

class TSiteNode;
class TSiteTree;

/**
 * The "Site Manager" dialog: the stored sites of "SiteManager.dat" as a tree of groups and sites, with a
 * field panel to edit a site. The dialog loads its own store when it is created and saves it when it closes,
 * on Save and after every move by drag and drop.
 *
 * exec() returns ConnectResult when the user chose Connect; the caller then reads the fields (edSiteAddress,
 * edPort, edID, edPassword, rgSSL, chbPassiveMode, edRemotePath, edLocalPath, cbNameEncoding) as they stand,
 * saved or not.
 * Connect is refused with a message while the port field does not hold a port number.
 */
class TSiteForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int ConnectResult = QDialog::Accepted;
    /// Longest text the notes take.
    static constexpr int NotesMaxLength = 200;
    /// Group and site pictures (image 7 and 8 of the program's list).
    static constexpr int GroupImage = 7;
    static constexpr int SiteImage = 8;

    /// Builds the tree from "SiteManager.dat" in appFolder; texts from the "SiteManager" section of the
    /// language file, the Delete question from its "Messages".
    TSiteForm(const QString& appFolder, const Texts& texts, QWidget* parent = nullptr);
    ~TSiteForm() override;

    /// The store the tree shows.
    const TSiteManList& store() const { return *m_store; }
    /// True while a site's fields are being edited (the tree is then disabled).
    bool isEditing() const { return m_editing; }
    /// The port field as a port number (1 to 65535), or 0 when it holds none.
    int portNumber() const;
    /// The name encoding field's choice.
    NameEncodingChoice nameEncoding() const;

    // Toolbar commands.
    void NewGroupBtnClick();
    void AddBtnClick();
    void ModifyBtnClick();
    void SaveBtnClick();
    void CancelBtnClick();
    void DeleteBtnClick();
    void ConnectBtnClick();
    void LocalPathBtnClick();

    /// The folder browser of the folder button: returns the folder chosen, or an empty text. A test may put
    /// its own in place.
    std::function<QString(const QString& title, const QString& start)> chooseFolder;

    QToolBar* ToolBar;
    QAction* NewGroupBtn;
    QAction* AddBtn;
    QAction* ModifyBtn;
    QAction* DeleteBtn;
    QAction* SaveBtn;
    QAction* CancelBtn;
    QAction* ConnectBtn;
    TSiteTree* TreeView;
    QLabel* lbSiteName;
    QLineEdit* edSiteName;
    QLabel* lbSiteAddress;
    QLineEdit* edSiteAddress;
    QLabel* lbPort;
    QLineEdit* edPort;
    QLabel* lbID;
    QLineEdit* edID;
    QLabel* lbPassword;
    QLineEdit* edPassword;
    QLabel* lbRemotePath;
    QLineEdit* edRemotePath;
    QLabel* lbLocalPath;
    QLineEdit* edLocalPath;
    QToolButton* LocalPathBtn;
    QLabel* lbNotes;
    QPlainTextEdit* memo;
    QCheckBox* chbPassiveMode;
    QCheckBox* chbAnonymous;
    QGroupBox* rgSSL;
    QButtonGroup* rgSSLItems;
    QLabel* lbNameEncoding;
    QComboBox* cbNameEncoding; ///< item index = the record's NameEncoding (Auto, UTF-8, local)

public Q_SLOTS:
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildWidgets();
    void buildTree();
    QString browseForFolder(const QString& title, const QString& start);
    TSiteNode* makeNode(TSiteManRec* record);
    TSiteNode* addNode(bool group, const QString& name);
    void TreeViewChange();
    void updateActions();
    void TreeViewEdited(TSiteNode* node, const QString& text);
    void TreeViewMoved();
    void edSiteNameChange();
    void chbAnonymousClick(bool checked);
    void memoChange();
    void setEditMode(bool editing);
    void showRecord(const TSiteManRec& record);
    void renumber();
    bool saveStore();
    bool checkPort();
    void warn(const QString& text);

    QString m_fileName;
    Texts m_texts;
    std::unique_ptr<TSiteManList> m_store;
    bool m_editing = false;
    bool m_closed = false;
    bool m_fillingMemo = false;
    bool m_keepFields = false;
    /// Why "SiteManager.dat" could not be read; closing then leaves the file alone.
    QString m_loadError;
    bool m_loadErrorShown = false;
};

} // namespace skyhaul
