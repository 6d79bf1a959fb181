#pragma once
// The host window "Wren Explorer": Open, Save, Exit and the choice of view around one editor
// control, which it knows only by its programmatic identifier and reaches only by name. Menus
// with keys for the same commands and a few more (frmmain_menus.cpp), a status bar, files
// dropped on the window, and the settings (recent files, geometry, last view).

#include "recentfiles.h"

#include <QMainWindow>

#include <array>
#include <functional>

class QAction;
class QActionGroup;
class QGroupBox;
class QLabel;
class QMenu;
class QMimeData;
class QPushButton;
class QRadioButton;
class QSettings;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);

    // Opens a file as the Open command does once its dialog has given a path.
    void openFile(const QString &path);
    // Shows the view `mode` (0 ARM, 1 Mapping, 2 AIM) as its option button does.
    void setViewMode(int mode);

    // The Open dialog; returns "" when cancelled. Replaceable, so the window can be driven
    // without a real file dialog.
    std::function<QString(QWidget *)> showOpen;
    // The Save As dialog, likewise.
    // It is given where to start: the document's file (savepaths::saveAsStart).
    std::function<QString(QWidget *, const QString &)> showSaveAs;
    // The dialog of "Compare With...", likewise; it starts in the document's folder.
    std::function<QString(QWidget *, const QString &)> showCompareWith;

    QWidget *control() const { return ctrlEdit; }
    const RecentFiles &recentFiles() const { return m_recent; }

    // The settings of the program: organisation "Wren", application "Palisade".
    static QSettings *newSettings();
    // The local file a drop of `data` opens ("" when it carries none).
    static QString droppedFile(const QMimeData *data);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    // The document shown, its name or its figures changed.
    void onDocumentChanged();
    void onCanGoBackChanged(bool canGoBack);

private:
    void Form_Initialize();
    void Form_Resize();
    void cmdOpen_Click();
    void cmdSave_Click();
    void cmdSaveAs_Click();
    // Asks whether unsaved edits are to be saved; false when the user cancels or the save
    // fails (the edits are then kept).
    bool maybeSave();
    void updateTitle();
    void updateStatus();
    void cmdExit_Click();
    void optView_Click(int index);
    void showViewChoice(int mode);
    void enableViewChoice();

    // Menus (frmmain_menus.cpp)
    void createMenus();
    QAction *addCommand(QMenu *menu, const char *name, const QString &text, const QKeySequence &key,
                        const std::function<void()> &run);
    void bindKey(QAction *action, const QKeySequence &key);
    void createIdsMenu(QMenu *view);
    void openRecent(const QString &path);
    void rememberFile(const QString &path);
    void rebuildRecentMenu();
    void findInstance();
    void compareWith();
    void goBack();
    void showAbout();

    int toPx(int twips) const;
    int toTwips(int px) const;

    QString m_strOpenFile;
    RecentFiles m_recent;
    QWidget *frmClient = nullptr; // what lies between the menu bar and the status bar
    QPushButton *cmdOpen = nullptr;
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdSaveAs = nullptr;
    QPushButton *cmdExit = nullptr;
    QWidget *ctrlEdit = nullptr;
    QGroupBox *fraView = nullptr;
    std::array<QRadioButton *, 3> optView{};
    std::array<QAction *, 3> actView{};
    QActionGroup *grpView = nullptr;
    QMenu *mnuRecent = nullptr;
    QAction *actFind = nullptr;
    QAction *actSave = nullptr;
    QAction *actSaveAs = nullptr;
    QAction *actCompare = nullptr;
    QAction *actCheck = nullptr;
    QAction *actBack = nullptr;
    QLabel *lblFilePath = nullptr;
    QLabel *lblInstances = nullptr;
    QLabel *lblOpenTime = nullptr;
};
