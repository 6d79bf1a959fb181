#pragma once
// The wait window: a small modeless box with a busy picture, shown while a document loads.
// One object serves the whole library; it is created on first use and only hidden after.

#include "quillon_export.h"

#include <QDialog>

class QLabel;

namespace quillon {

class QUILLON_EXPORT dlgWait : public QDialog {
    Q_OBJECT
public:
    // The one wait window, created on first use, owned by owner's window.
    static dlgWait *instance(QWidget *owner);
    // The wait window if it exists (tests).
    static dlgWait *existing();

    // Shows it and has it painted before the caller blocks in a long load.
    void showNow();

private:
    explicit dlgWait(QWidget *owner);
    QLabel *Image1 = nullptr;
};

} // namespace quillon
