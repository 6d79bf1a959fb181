#pragma once
// The wait window: a small modeless box with a turning busy picture and a Cancel button,
// shown while a document loads; with a source of progress it also says which file it reads
// and how far it is (the bytes read, on a bar that fills once the size is known). One object
// serves the whole library; it is created on first use and only hidden after. While it
// waits, the user's input goes to it alone; Escape anywhere, its Cancel and its close box
// cancel the load.

#include <QDialog>
#include <QPixmap>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quillon {

class LoadProgress;

class dlgWait : public QDialog {
    Q_OBJECT
public:
    // The one wait window, created on first use, owned by owner's window.
    static dlgWait *instance(QWidget *owner);
    // The wait window if it exists (tests).
    static dlgWait *existing();

    // Shows it and has it painted before the caller blocks in a long load.
    void showNow();
    // Shows it for a load that runs while the event loop does; cancel is called when the user
    // cancels. endWait() hides it and gives the input back.
    // With no cancel there is no Cancel button and Escape does nothing; with showAfterMs the
    // window shows only when the wait lasts that long (the input is held back at once).
    void beginWait(std::function<void()> cancel, int showAfterMs = 0);
    void endWait();
    // For the next wait (call before beginWait()): the progress to show, asked for at every
    // turn of the picture (null while there is none yet). Without it, as after endWait(), the
    // window shows the picture alone.
    void showProgressOf(std::function<std::shared_ptr<const LoadProgress>()> source);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    explicit dlgWait(QWidget *owner);
    void turn();
    void showProgress();
    void place(bool withProgress);
    void cancelNow();

    QLabel *Image1 = nullptr;
    QPushButton *cmdCancel = nullptr;
    QLabel *lblFile = nullptr;
    QProgressBar *prgRead = nullptr;
    std::function<std::shared_ptr<const LoadProgress>()> m_progress;
    QTimer *m_turn = nullptr;
    QTimer *m_showLater = nullptr;
    QPixmap m_picture;
    int m_angle = 0;
    std::function<void()> m_cancel;
    bool m_waiting = false;
};

} // namespace quillon
