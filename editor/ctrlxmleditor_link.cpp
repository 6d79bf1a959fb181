// The editor control: re-pointing a reference row to an instance chosen in the picker.
#include "ctrlxmleditor.h"
#include "treemodel.h"

#include <QTreeView>
#include <QTreeWidget>

namespace quillon {

void CtrlXMLEditor::mnuEdit_Click()
{
}

bool CtrlXMLEditor::applyLink(const QString &)
{
    return false;
}

} // namespace quillon
