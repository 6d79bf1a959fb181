// The "Rename Id" dialog: the new id, the references that change with it, OK and Cancel.
#include "widgets/dlgrenameid.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillon {

dlgRenameId::dlgRenameId(const QString &oldId, const QList<Referrer> &references,
                         std::function<QString(const QString &)> refusal, QWidget *parent)
    : QDialog(parent), m_refusal(std::move(refusal))
{
    setObjectName(QStringLiteral("dlgRenameId"));
    setWindowTitle(tr("Rename Id"));
    auto *layout = new QVBoxLayout(this);
    auto *prompt = new QLabel(tr("New id for %1:").arg(oldId), this);
    txtNewId = new QLineEdit(oldId, this);
    txtNewId->setObjectName(QStringLiteral("txtNewId"));
    txtNewId->selectAll();
    prompt->setBuddy(txtNewId);
    lblRefusal = new QLabel(this);
    lblRefusal->setObjectName(QStringLiteral("lblRefusal"));
    auto *listed = new QLabel(tr("%n reference(s) will change:", "", int(references.size())), this);
    lstReferences = new QTreeWidget(this);
    lstReferences->setObjectName(QStringLiteral("lstReferences"));
    lstReferences->setRootIsDecorated(false);
    lstReferences->setHeaderLabels({tr("File"), tr("Instance"), tr("Property")});
    for (const Referrer &r : references)
        new QTreeWidgetItem(lstReferences,
                            {QFileInfo(r.file).fileName(), r.element + QLatin1Char(' ') + r.id, r.property});
    lstReferences->header()->resizeSections(QHeaderView::ResizeToContents);
    cmdButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QWidget *w : std::initializer_list<QWidget *>{prompt, txtNewId, lblRefusal, listed, lstReferences, cmdButtons})
        layout->addWidget(w);
    connect(cmdButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(cmdButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(txtNewId, &QLineEdit::textChanged, this, &dlgRenameId::txtNewId_Change);
    txtNewId_Change();
}

QString dlgRenameId::newId() const
{
    return txtNewId->text();
}

void dlgRenameId::txtNewId_Change()
{
    const QString why = m_refusal(txtNewId->text());
    lblRefusal->setText(why);
    cmdButtons->button(QDialogButtonBox::Ok)->setEnabled(why.isEmpty());
}

} // namespace quillon
