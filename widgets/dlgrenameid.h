#pragma once
// dlgRenameId, "Rename Id": asks for the new id of an instance and lists every reference that
// will change with it (file, instance, property). OK stays disabled, with the reason beside
// it, while the id is refused (empty, or already used); whether it is, the caller's rule says.

#include "refs/refindex.h"

#include <QDialog>

#include <functional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTreeWidget;

namespace quillon {

class dlgRenameId : public QDialog {
    Q_OBJECT
public:
    // refusal(id): why id cannot be the new id, empty when it can.
    dlgRenameId(const QString &oldId, const QList<Referrer> &references,
                std::function<QString(const QString &id)> refusal, QWidget *parent = nullptr);

    QString newId() const;

private:
    void txtNewId_Change();

    std::function<QString(const QString &)> m_refusal;
    QLineEdit *txtNewId;
    QLabel *lblRefusal;
    QTreeWidget *lstReferences;
    QDialogButtonBox *cmdButtons;
};

} // namespace quillon
