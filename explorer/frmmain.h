#pragma once
// The host window "Wren Explorer": Open, Save, Exit and the choice of view around one editor
// control, which it knows only by its programmatic identifier and reaches only by name.

#include <QWidget>

#include <array>
#include <functional>

class QGroupBox;
class QPushButton;
class QRadioButton;

class frmMain : public QWidget {
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
    std::function<QString(QWidget *)> showSaveAs;

    QWidget *control() const { return ctrlEdit; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

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
    void cmdExit_Click();
    void optView_Click(int index);

    int toPx(int twips) const;
    int toTwips(int px) const;

    QString m_strOpenFile;
    QPushButton *cmdOpen = nullptr;
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdSaveAs = nullptr;
    QPushButton *cmdExit = nullptr;
    QWidget *ctrlEdit = nullptr;
    QGroupBox *fraView = nullptr;
    std::array<QRadioButton *, 3> optView{};
};
